#include "helper/RootFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace kt::helper {

std::optional<std::string> prepareRootFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return path + ": " + std::strerror(errno);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return path + ": " + std::strerror(errno);
    if (!S_ISDIR(info.st_mode) || info.st_uid != 0)
        return path + " is geen map van root: geweigerd";
    if ((info.st_mode & 07777) != 0700 && ::chmod(path.c_str(), 0700) != 0)
        return path + ": " + std::strerror(errno);
    return std::nullopt;
}

std::optional<std::string> writePrivateFile(const std::string& folder, const std::string& text) {
    std::string pattern = folder + "/run.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return std::nullopt;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    const bool complete = done == text.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!complete) {
        ::unlink(name.data());
        return std::nullopt;
    }
    return std::string(name.data());
}

int holdApplicationLock(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != 0 ||
        ::flock(fd, LOCK_SH) != 0) {
        ::close(fd);
        return -1;
    }
    ::fchmod(fd, 0644);
    return fd;
}

}  // namespace kt::helper
