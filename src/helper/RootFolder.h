#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kt::helper {

// Makes `path` a folder that only root can enter (mode 0700), refusing a
// link or a folder of anyone else. Returns why it failed, or nothing.
std::optional<std::string> prepareRootFolder(const std::string& path);

// Takes the exclusive lock of the root-only file `path` (made if missing):
// one helper run or guardian at a time. Waits its turn for at most
// `deadline`. The descriptor stays open, also across exec, so the script the
// helper starts, and what that starts, hold the lock until they all end.
// Returns why it failed, or nothing.
std::optional<std::string> holdRunLock(const std::string& path, std::chrono::milliseconds deadline);

// What a run that was killed half-way left behind. Only while the run lock
// is held: every entry of `runFolder` but `keep`, and in each folder the
// regular files of root whose names start with its prefix.
void removeStaleFiles(const std::string& runFolder, const std::string& keep,
                      const std::vector<std::pair<std::string, std::string>>& folderAndPrefix);

}  // namespace kt::helper
