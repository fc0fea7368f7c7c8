#include <gtest/gtest.h>

#include <optional>

#include "Fakes.h"
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

TEST(DeviceIdentity, LinuxDeviceInformationIsThePrettyNameMadePlainAndShort) {
    const std::string debian =
        "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
        "VERSION_ID=\"12\"\nID=debian\nHOME_URL=\"https://www.debian.org/\"\n";
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {debian, "Linux Debian GNU/Linux 12 (bookworm)"},
        {"# comment\nPRETTY_NAME='Ubuntu 24.04 LTS'\r\nNAME=Ubuntu", "Linux Ubuntu 24.04 LTS"},
        {"NAME=Fedora Linux\nPRETTY_NAME=\"\"", "Linux Fedora Linux"},
        {"ID=alpine\nMY_PRETTY_NAME=x", "Linux"},
        {std::nullopt, "Linux"},
        {"PRETTY_NAME=\"Evil\x01\x1b[31m \\\"`x`\" trailing\nPRETTY_NAME=Later OS 2",
         "Linux Later OS 2"},
        {"PRETTY_NAME=\"A\x1b[31mB`C`\\D'E\xff\"", "Linux A[31mBCDE"},
        {"PRETTY_NAME=" + std::string(150, 'x') + "\n", "Linux " + std::string(100, 'x')},
        {"PRETTY_NAME=\"Zo\xc3\xab OS\"", "Linux Zo\xc3\xab OS"},
    };
    for (const auto& [osRelease, info] : cases)
        EXPECT_EQ(kt::linuxDeviceInformation(osRelease), info) << osRelease.value_or("(none)");
}

}  // namespace
