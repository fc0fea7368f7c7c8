#pragma once

#include "platform/NetworkInterfaces.h"

namespace kt {

// The interface list of the operating system, as Qt reports it (in the order
// of the system's interface indexes).
class QtNetworkInterfaces final : public NetworkInterfaces {
  public:
    std::vector<NetworkInterfaceInfo> all() const override;
};

}  // namespace kt
