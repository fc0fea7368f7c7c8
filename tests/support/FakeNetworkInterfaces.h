#pragma once

#include <vector>

#include "platform/NetworkInterfaces.h"

namespace kt::testing {

// An interface list the test sets; by default a computer without any interface.
class FakeNetworkInterfaces final : public NetworkInterfaces {
  public:
    std::vector<NetworkInterfaceInfo> interfaces;

    std::vector<NetworkInterfaceInfo> all() const override { return interfaces; }
};

}  // namespace kt::testing
