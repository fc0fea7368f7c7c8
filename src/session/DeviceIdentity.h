#pragma once

#include <string>

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

}  // namespace kt
