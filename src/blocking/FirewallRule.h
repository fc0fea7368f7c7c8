#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kt {

enum class IpFamily { Both, IPv4, IPv6 };
enum class Protocol { Any, Tcp, Udp };

// One rule of the firewall: it drops the packets of `family` and `protocol`
// that go to `port` at `target`. Made by the functions below, so that an
// address target's family is the address's and a port comes with a protocol.
struct FirewallRule {
    IpFamily family = IpFamily::Both;
    Protocol protocol = Protocol::Any;
    std::uint16_t port = 0;  // 0: every port
    std::string target;      // a checked address or network; empty: any

    bool operator==(const FirewallRule&) const = default;
};

// IPv6 for text with a colon, else IPv4 (of a checked address).
IpFamily familyOf(std::string_view address);

// Every packet to an address or network that isValidAddress accepts.
FirewallRule blockAddress(std::string address);
// Packets of `protocol` to `port` at an address or network.
FirewallRule blockPort(Protocol protocol, std::uint16_t port, std::string address);
// Packets of `protocol` to `port` wherever they go, of one family or both.
FirewallRule blockPortAnywhere(IpFamily family, Protocol protocol, std::uint16_t port);

// "tcp", "udp", or "" for any.
std::string_view protocolName(Protocol protocol);

// The rule as a line of the packet filter (pf):
//   block drop quick [inet|inet6] [proto tcp|udp] from any to TARGET|any [port N]
// An address target brings its family, so only IPv6 ones say "inet6".
std::string packetFilterRule(const FirewallRule& rule);

// Each rule once, in the order every profile lists them: that of their
// packet-filter lines sorted byte for byte, as the anchor has always held them.
std::vector<FirewallRule> distinctRules(std::vector<FirewallRule> rules);

}  // namespace kt
