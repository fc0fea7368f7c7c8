#include "helper/RootFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
