#include "helper/RootFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

namespace kt::helper {
namespace {

// The names in a folder, without "." and "..".
std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

}  // namespace

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

std::optional<std::string> holdRunLock(const std::string& path,
                                       std::chrono::milliseconds deadline) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return path + ": " + std::strerror(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != 0) {
        ::close(fd);
        return path + " is geen bestand van root: geweigerd";
    }
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= end) {
            ::close(fd);
            return "Een andere blokkeringsstap loopt nog: probeer het later opnieuw";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
}

void removeStaleFiles(const std::string& runFolder, const std::string& keep,
                      const std::vector<std::pair<std::string, std::string>>& folderAndPrefix) {
    std::error_code ignored;
    for (const std::string& name : entriesOf(runFolder))
        if (name != keep)
            std::filesystem::remove_all(runFolder + "/" + name, ignored);
    for (const auto& [folder, prefix] : folderAndPrefix)
        for (const std::string& name : entriesOf(folder)) {
            struct stat info {};
            const std::string path = folder + "/" + name;
            if (name.starts_with(prefix) && ::lstat(path.c_str(), &info) == 0 &&
                S_ISREG(info.st_mode) && info.st_uid == 0)
                ::unlink(path.c_str());
        }
}

}  // namespace kt::helper
