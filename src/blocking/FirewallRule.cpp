#include "blocking/FirewallRule.h"

#include <algorithm>
#include <utility>

namespace kt {

IpFamily familyOf(std::string_view address) {
    return address.find(':') != std::string_view::npos ? IpFamily::IPv6 : IpFamily::IPv4;
}

FirewallRule blockAddress(std::string address) {
    const IpFamily family = familyOf(address);
    return {family, Protocol::Any, 0, std::move(address)};
}

FirewallRule blockPort(Protocol protocol, std::uint16_t port, std::string address) {
    const IpFamily family = familyOf(address);
    return {family, protocol, port, std::move(address)};
}

FirewallRule blockPortAnywhere(IpFamily family, Protocol protocol, std::uint16_t port) {
    return {family, protocol, port, {}};
}

std::string_view protocolName(Protocol protocol) {
    switch (protocol) {
        case Protocol::Tcp:
            return "tcp";
        case Protocol::Udp:
            return "udp";
        case Protocol::Any:
            break;
    }
    return "";
}

std::string packetFilterRule(const FirewallRule& rule) {
    std::string line = "block drop quick ";
    if (rule.family == IpFamily::IPv6)
        line += "inet6 ";
    else if (rule.family == IpFamily::IPv4 && rule.target.empty())
        line += "inet ";
    if (rule.protocol != Protocol::Any)
        line += "proto " + std::string(protocolName(rule.protocol)) + " ";
    line += "from any to " + (rule.target.empty() ? std::string("any") : rule.target);
    if (rule.port != 0)
        line += " port " + std::to_string(rule.port);
    return line;
}

std::vector<FirewallRule> distinctRules(std::vector<FirewallRule> rules) {
    // std::string compares by char_traits<char>, which compares as unsigned bytes.
    std::vector<std::pair<std::string, FirewallRule>> keyed;
    keyed.reserve(rules.size());
    for (FirewallRule& rule : rules) keyed.emplace_back(packetFilterRule(rule), std::move(rule));
    std::sort(keyed.begin(), keyed.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    keyed.erase(std::unique(keyed.begin(), keyed.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }),
                keyed.end());
    std::vector<FirewallRule> ordered;
    ordered.reserve(keyed.size());
    for (auto& [line, rule] : keyed) ordered.push_back(std::move(rule));
    return ordered;
}

}  // namespace kt
