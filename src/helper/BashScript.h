#pragma once

#include <string>

#include "platform/ProcessRunner.h"

namespace kt::helper {

// Runs `script` with bash as root and returns what it did. The script lives
// in memory only (a sealed memory file that bash reads through /dev/fd), so
// nothing of it is left on disk however the run ends.
ProcessResult runBashScript(ProcessRunner& processes, const std::string& script);

}  // namespace kt::helper
