#pragma once

#include <string>

#include "platform/ProcessRunner.h"

namespace kt {

// How this system runs blocking steps as the administrator: which program to
// start for them (a password prompt, polkit, or nothing when already root).
// The program exits with status 0 exactly when the step succeeded and writes
// a description of any failure to its standard error.
class PrivilegeStrategy {
  public:
    virtual ~PrivilegeStrategy() = default;

    virtual std::string name() const = 0;
    // The process that runs the bash script at `scriptPath` as root.
    virtual ProcessRequest requestFor(const std::string& scriptPath) const = 0;
    // The process that runs one verb of the root helper ("activate",
    // "deactivate", "restore"); its request goes to standard input. A
    // strategy without a helper returns a request that cannot start.
    virtual ProcessRequest helperRequestFor(const std::string& verb) const = 0;
};

}  // namespace kt
