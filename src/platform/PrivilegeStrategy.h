#pragma once

#include <string>

#include "platform/ProcessRunner.h"

namespace kt {

// How this system runs a shell script as the administrator: which program
// to start for it (a password prompt, or nothing when already root). The
// program exits with status 0 exactly when the script succeeded and writes
// a description of any failure to its standard error.
class PrivilegeStrategy {
  public:
    virtual ~PrivilegeStrategy() = default;

    virtual std::string name() const = 0;
    // The process that runs the bash script at `scriptPath` as root.
    virtual ProcessRequest requestFor(const std::string& scriptPath) const = 0;
};

}  // namespace kt
