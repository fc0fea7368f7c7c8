#include <gtest/gtest.h>

#include "FakeNetworkInterfaces.h"
#include "session/DeviceIdentity.h"

namespace {

using Interfaces = std::vector<kt::NetworkInterfaceInfo>;

TEST(DeviceIdentity, FirstNonLoopbackNonZeroAddressInTheSystemsOrderWithoutColonsLowerCase) {
    const std::pair<Interfaces, std::string> cases[] = {
        {{{"en0", "A4:83:E7:12:0B:9F", false}, {"en1", "00:11:22:33:44:55", false}},
         "a483e7120b9f"},
        {{{"bridge0", "", false},
          {"dummy0", "00:00:00:00:00:00", false},
          {"lo", "02:00:00:00:00:01", true},
          {"eth1", "0a:0b:0c:0d:0e:0f", false}},
         "0a0b0c0d0e0f"},
        {{{"lo", "00:00:00:00:00:00", true}, {"utun0", "", false}}, ""},
        {{}, ""},
    };
    for (const auto& [interfaces, identity] : cases) {
        kt::testing::FakeNetworkInterfaces fake;
        fake.interfaces = interfaces;
        EXPECT_EQ(kt::getDeviceMACAddress(fake), identity) << interfaces.size() << " interfaces";
    }
}

}  // namespace
