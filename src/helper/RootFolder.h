#pragma once

#include <optional>
#include <string>

namespace kt::helper {

// Makes `path` a folder that only root can enter (mode 0700), refusing a
// link or a folder of anyone else. Returns why it failed, or nothing.
std::optional<std::string> prepareRootFolder(const std::string& path);

// Opens (creating it, mode 0644, root's) the lock file the application holds
// while it runs, and holds a shared lock on it until the process ends, so the
// guardian leaves the system alone while the helper works. -1 on failure.
int holdApplicationLock(const std::string& path);

}  // namespace kt::helper
