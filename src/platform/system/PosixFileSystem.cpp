#include "platform/system/PosixFileSystem.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace kt {
namespace {

std::string errorText(int error) {
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace

PosixFileSystem::PosixFileSystem(std::string temporaryBase)
    : temporaryBase_(std::move(temporaryBase)) {}

bool PosixFileSystem::exists(const std::string& path) const {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

std::optional<std::string> PosixFileSystem::readFile(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return text.str();
}

PathResult PosixFileSystem::createPrivateDirectory() {
    std::string pattern = temporaryBase_ + "/ka_tesmar.XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    // mkdtemp makes the folder with mode 700 and a name nobody could guess.
    if (!::mkdtemp(buffer.data()))
        return {"", errorText(errno)};
    return {buffer.data(), ""};
}

std::optional<std::string> PosixFileSystem::writeFile(const std::string& path,
                                                      const std::string& content, unsigned mode) {
    // O_EXCL: never follow or reuse something that is already there.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errorText(errno);
    std::size_t written = 0;
    while (written < content.size()) {
        ssize_t n = ::write(fd, content.data() + written, content.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int error = errno;
            ::close(fd);
            return errorText(error);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fchmod(fd, static_cast<mode_t>(mode)) != 0 || ::close(fd) != 0)
        return errorText(errno);
    return std::nullopt;
}

void PosixFileSystem::removeTree(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

void PosixFileSystem::removeTreeWithin(const std::string& base, const std::string& relative) {
    // remove_all itself never follows a link inside the tree; the folders on
    // the way down are checked here.
    std::filesystem::path path = base;
    std::error_code error;
    for (const auto& part : std::filesystem::path(relative).relative_path()) {
        if (part == ".." || part == ".")
            return;
        path /= part;
        const auto status = std::filesystem::symlink_status(path, error);
        if (error || std::filesystem::is_symlink(status))
            return;
    }
    std::filesystem::remove_all(path, error);
}

std::string PosixFileSystem::userId() const {
    return std::to_string(::getuid());
}

std::string PosixFileSystem::homeDirectory() const {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

}  // namespace kt
