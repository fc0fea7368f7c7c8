#include "platform/system/FileLifetimeLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kt {

FileLifetimeLock::FileLifetimeLock(std::string path) : path_(std::move(path)) {}

FileLifetimeLock::~FileLifetimeLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

void FileLifetimeLock::hold() {
    if (fd_ >= 0)
        return;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

}  // namespace kt
