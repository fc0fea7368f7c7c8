#pragma once

#include <optional>
#include <string>

namespace kt {

// A path, or why it could not be made.
struct PathResult {
    std::string path;
    std::string error;  // empty on success
    bool ok() const { return error.empty(); }
};

// Files and folders of the local system. Callable from any thread.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    virtual bool exists(const std::string& path) const = 0;
    // The whole file, or nothing when it cannot be read.
    virtual std::optional<std::string> readFile(const std::string& path) const = 0;
    // Makes a new, empty folder that only the current user can enter (mode 700).
    virtual PathResult createPrivateDirectory() = 0;
    // Writes `content` to a new file at `path` with the given mode. Returns
    // the error description, or nothing on success.
    virtual std::optional<std::string> writeFile(const std::string& path,
                                                 const std::string& content, unsigned mode) = 0;
    // Removes a file or a folder with everything in it; errors are ignored.
    virtual void removeTree(const std::string& path) = 0;
    // Removes `relative` below `base` with everything in it, but only when no
    // folder on the way from `base` down to it is a link: nothing outside
    // `base` is ever touched. Errors are ignored.
    virtual void removeTreeWithin(const std::string& base, const std::string& relative) = 0;
    // The home folder and the numeric user id of the user running the application.
    virtual std::string homeDirectory() const = 0;
    virtual std::string userId() const = 0;
};

}  // namespace kt
