#include "platform/system/FileLifetimeLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kt {

FileLifetimeLock::FileLifetimeLock(std::string path) : path_(std::move(path)) {}

FileLifetimeLock::~FileLifetimeLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

void FileLifetimeLock::hold() {
    struct stat current {};
    if (::lstat(path_.c_str(), &current) != 0)
        return;
    struct stat held {};
    if (fd_ >= 0 && ::fstat(fd_, &held) == 0 && held.st_dev == current.st_dev &&
        held.st_ino == current.st_ino)
        return;
    // Never through a link, and a FIFO put there cannot make it wait.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) ||
        ::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    // The new file is held before the old one is let go.
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

}  // namespace kt
