#pragma once

#include <string>

#include "platform/ProcessRunner.h"

namespace kt {

// What the helper tells its caller: the script's own output, and on failure
// one Dutch line saying what failed. Returns the exit status to end with.
int answer(const ProcessResult& script);
int answerFailure(const std::string& line);

}  // namespace kt
