#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/NetworkInterfaces.h"
#include "platform/SystemInformation.h"

namespace kt {

// The device identity sent as `device_id`: the hardware address of the first
// interface, in the system's order, that has one, without colons and in lower
// case; empty when no interface has one. Loopback interfaces and all-zero
// addresses are skipped: on Linux the loopback interface reports
// 00:00:00:00:00:00, which would give every computer the same identity.
std::string getDeviceMACAddress(const NetworkInterfaces& interfaces);

// The device information sent as `device_info`: "macOS " and the system's
// version text (the prefix is part of the protocol, whatever the system).
std::string deviceInformation(const SystemInformation& system);

// The device information of the linux profile: "Linux " and the PRETTY_NAME
// of an os-release text (its NAME when it has none; "Linux" alone without
// either or without the text). The name is shown on the teacher's page, so
// it is made plain: quotes, backslashes and control characters are dropped,
// and it is cut to maxDeviceNameCharacters.
std::string linuxDeviceInformation(std::optional<std::string_view> osRelease);
inline constexpr std::size_t maxDeviceNameCharacters = 100;

// Where the os-release text is: the first of these files that exists.
inline constexpr const char* osReleasePaths[] = {"/etc/os-release", "/usr/lib/os-release"};

}  // namespace kt
