#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/ProcessRunner.h"

namespace kt {

// What the helper tells its caller: the script's own output, and on failure
// one Dutch line saying what failed. Returns the exit status to end with.
int answer(const ProcessResult& script);
int answerFailure(const std::string& line);

// The one line that says why a script failed: its last non-empty line of
// error output, or a general one.
std::string failureLine(const ProcessResult& script);

std::optional<std::string> readTextFile(const std::string& path);

}  // namespace kt
