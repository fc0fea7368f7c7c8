#include <gtest/gtest.h>

#include "FakeNetworkInterfaces.h"
#include "FakeSystemInformation.h"
#include "session/DeviceIdentity.h"
#include "session/PercentEncoding.h"

namespace {

using kt::NetworkInterfaceInfo;

std::string identityOf(std::vector<NetworkInterfaceInfo> interfaces) {
    kt::testing::FakeNetworkInterfaces fake;
    fake.interfaces = std::move(interfaces);
    return kt::getDeviceMACAddress(fake);
}

TEST(DeviceIdentity, FirstInterfaceWithAnAddressWinsWithoutColonsInLowerCase) {
    EXPECT_EQ(
        identityOf({{"en0", "A4:83:E7:12:0B:9F", false}, {"en1", "00:11:22:33:44:55", false}}),
        "a483e7120b9f");
    EXPECT_EQ(identityOf({{"bridge0", "", false}, {"en1", "00:1c:42:00:00:08", false}}),
              "001c42000008");
    EXPECT_EQ(identityOf({}), "");
    EXPECT_EQ(identityOf({{"utun0", "", false}, {"gif0", "", false}}), "");
    // No preference by kind or name: the system's order decides.
    EXPECT_EQ(
        identityOf({{"wlan0", "02:00:00:00:00:01", false}, {"eth0", "aa:bb:cc:dd:ee:ff", false}}),
        "020000000001");
}

TEST(DeviceIdentity, LoopbackAndAllZeroAddressesAreSkipped) {
    EXPECT_EQ(identityOf({{"lo", "00:00:00:00:00:00", true}, {"eth0", "52:54:00:AB:CD:EF", false}}),
              "525400abcdef");
    EXPECT_EQ(identityOf({{"lo", "02:00:00:00:00:01", true}}), "") << "loopback never identifies";
    EXPECT_EQ(
        identityOf({{"dummy0", "00:00:00:00:00:00", false}, {"eth1", "0a:0b:0c:0d:0e:0f", false}}),
        "0a0b0c0d0e0f");
    EXPECT_EQ(identityOf({{"lo", "00:00:00:00:00:00", true}}), "");
}

TEST(DeviceInformation, IsMacOSPrefixAndTheSystemVersionText) {
    kt::testing::FakeSystemInformation system;
    system.version = "Version 13.6 (Build 22G120)";
    EXPECT_EQ(kt::deviceInformation(system), "macOS Version 13.6 (Build 22G120)");
    EXPECT_EQ(kt::queryValueEncoded(kt::deviceInformation(system)),
              "macOS%20Version%2013.6%20(Build%2022G120)");
    system.version = "Debian GNU/Linux 12 (bookworm)";
    EXPECT_EQ(kt::deviceInformation(system), "macOS Debian GNU/Linux 12 (bookworm)");
}

}  // namespace
