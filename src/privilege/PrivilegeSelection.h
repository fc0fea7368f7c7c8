#pragma once

#include <memory>
#include <string_view>

#include "platform/PrivilegeStrategy.h"

namespace kt {

// The way a process runs scripts as the administrator: directly when it
// already runs as root, otherwise osascript for the macos profile and pkexec
// for every other one.
std::unique_ptr<PrivilegeStrategy> selectPrivilegeStrategy(std::string_view profileName,
                                                           bool runsAsRoot);

}  // namespace kt
