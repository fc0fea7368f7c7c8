#pragma once

#include "platform/ProcessRunner.h"

namespace kt {

class SystemProfile;

// What the termination signal does before the process ends: the signal
// variant of the restore command in an ordinary shell, waited for. The result
// is not examined and a shell that cannot be started is ignored. Reads only
// the immutable profile, so it is safe on any thread at any moment.
void runSignalRestore(const SystemProfile& profile, ProcessRunner& processes);

}  // namespace kt
