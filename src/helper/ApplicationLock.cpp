#include "helper/ApplicationLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace kt::helper {

uid_t callerAccount(const char* pkexecUid) {
    if (pkexecUid) {
        const std::string_view text(pkexecUid);
        unsigned long value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error == std::errc() && end == text.data() + text.size() && !text.empty() &&
            value < static_cast<uid_t>(-1))
            return static_cast<uid_t>(value);
    }
    return ::getuid();
}

std::optional<std::string> provideApplicationLock(const std::string& path, uid_t owner) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == owner &&
        (info.st_mode & 07777) == 0600 && info.st_nlink == 1)
        return std::nullopt;
    // Made beside it (a root-only folder) and renamed over it in one step.
    const std::size_t slash = path.rfind('/') + 1;
    std::string temporary = path.substr(0, slash) + "." + path.substr(slash) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return path + ": " + std::strerror(errno);
    if (::fchown(fd, owner, static_cast<gid_t>(-1)) != 0 || ::fchmod(fd, 0600) != 0 ||
        ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        ::close(fd);
        return path + ": " + std::strerror(error);
    }
    ::close(fd);
    return std::nullopt;
}

}  // namespace kt::helper
