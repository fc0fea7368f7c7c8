#pragma once

#include "platform/PrivilegeStrategy.h"
#include "platform/ProcessRunner.h"

namespace kt {

class SystemProfile;

// What the termination signal does before the process ends: the signal
// variant of the restore command in an ordinary shell, or the root helper's
// restore where the profile has one, waited for. The result is not examined
// and a program that cannot be started is ignored. Reads only immutable
// objects, so it is safe on any thread at any moment.
void runSignalRestore(const SystemProfile& profile, const PrivilegeStrategy* privilege,
                      ProcessRunner& processes);

}  // namespace kt
