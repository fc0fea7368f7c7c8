#include "session/DeviceIdentity.h"

#include <algorithm>
#include <cctype>

namespace kt {
namespace {

std::string withoutColonsLowerCase(const std::string& address) {
    std::string identity;
    identity.reserve(address.size());
    for (const char c : address)
        if (c != ':')
            identity.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return identity;
}

bool isAllZero(const std::string& identity) {
    return std::all_of(identity.begin(), identity.end(), [](char c) { return c == '0'; });
}

}  // namespace

std::string getDeviceMACAddress(const NetworkInterfaces& interfaces) {
    for (const NetworkInterfaceInfo& interface : interfaces.all()) {
        if (interface.isLoopback)
            continue;
        const std::string identity = withoutColonsLowerCase(interface.hardwareAddress);
        if (identity.empty() || isAllZero(identity))
            continue;
        return identity;
    }
    return {};
}

std::string deviceInformation(const SystemInformation& system) {
    return "macOS " + system.operatingSystemVersion();
}

}  // namespace kt
