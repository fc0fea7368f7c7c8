#include "blocking/NftTable.h"

#include <algorithm>

namespace kt {
namespace {

// The part of a rule after its address match.
std::string protocolMatchAndVerdict(const FirewallRule& rule) {
    const std::string protocol(protocolName(rule.protocol));
    if (rule.port != 0)
        return protocol + " dport " + std::to_string(rule.port) + " drop";
    if (rule.protocol != Protocol::Any)
        return "meta l4proto " + protocol + " drop";
    return "drop";
}

std::string addressMatch(IpFamily family) {
    return family == IpFamily::IPv6 ? "ip6 daddr " : "ip daddr ";
}

// Rules that differ only in their address share one named set: "v4",
// "v6_tcp", "v4_tcp_443".
struct AddressSet {
    std::string name;
    FirewallRule shape;  // the rule with its target left out
    std::vector<std::string> elements;
};

std::string setName(const FirewallRule& rule) {
    std::string name = rule.family == IpFamily::IPv6 ? "v6" : "v4";
    if (rule.protocol != Protocol::Any)
        name += "_" + std::string(protocolName(rule.protocol));
    if (rule.port != 0)
        name += "_" + std::to_string(rule.port);
    return name;
}

std::string setDefinition(const AddressSet& set) {
    std::string text = "  set " + set.name + " {\n";
    text += std::string("    type ") +
            (set.shape.family == IpFamily::IPv6 ? "ipv6_addr" : "ipv4_addr") +
            "; flags interval; auto-merge;\n";
    text += "    elements = {";
    for (std::size_t i = 0; i < set.elements.size(); ++i)
        text += (i ? ",\n      " : "\n      ") + set.elements[i];
    return text + "\n    }\n  }\n";
}

// Adds `address` to the set of that name, made at the end with `shape` when
// there is none yet.
void addToSet(std::vector<AddressSet>& sets, const std::string& name, FirewallRule shape,
              const std::string& address) {
    auto set =
        std::find_if(sets.begin(), sets.end(), [&](const AddressSet& s) { return s.name == name; });
    if (set == sets.end()) {
        shape.target.clear();
        set = sets.insert(sets.end(), AddressSet{name, std::move(shape), {}});
    }
    set->elements.push_back(address);
}

}  // namespace

std::string nftRule(const FirewallRule& rule) {
    std::string match;
    if (!rule.target.empty())
        match = addressMatch(rule.family) + rule.target + " ";
    else if (rule.family == IpFamily::IPv4)
        match = "meta nfproto ipv4 ";
    else if (rule.family == IpFamily::IPv6)
        match = "meta nfproto ipv6 ";
    return match + protocolMatchAndVerdict(rule);
}

std::string nftTableFile(const std::vector<FirewallRule>& rules,
                         const std::vector<std::string>& acceptedAddresses) {
    std::vector<AddressSet> kept;  // accepted before any drop
    for (const std::string& address : acceptedAddresses) {
        const FirewallRule shape = blockAddress(address);
        addToSet(kept, shape.family == IpFamily::IPv6 ? "protected_v6" : "protected_v4", shape,
                 address);
    }
    std::vector<AddressSet> sets;  // in order of first appearance
    std::string anyTargetRules;
    for (const FirewallRule& rule : rules) {
        if (rule.target.empty())
            anyTargetRules += "    " + nftRule(rule) + "\n";
        else
            addToSet(sets, setName(rule), rule, rule.target);
    }

    const std::string table = nftTableName;
    // Creating the table first lets the delete succeed on a first activation;
    // nft applies the whole file as one transaction.
    std::string text = "table " + table + "\n";
    text += "delete table " + table + "\n";
    text += "table " + table + " {\n";
    for (const AddressSet& set : kept) text += setDefinition(set);
    for (const AddressSet& set : sets) text += setDefinition(set);
    text += "  chain blocked {\n";
    for (const AddressSet& set : kept)
        text += "    " + addressMatch(set.shape.family) + "@" + set.name + " accept\n";
    for (const AddressSet& set : sets)
        text += "    " + addressMatch(set.shape.family) + "@" + set.name + " " +
                protocolMatchAndVerdict(set.shape) + "\n";
    text += anyTargetRules + "  }\n";
    text += "  chain output {\n";
    text += "    type filter hook output priority filter; policy accept;\n";
    text += "    jump blocked\n";
    text += "  }\n";
    text += "  chain forward {\n";
    text += "    type filter hook forward priority filter; policy accept;\n";
    text += "    jump blocked\n";
    text += "  }\n";
    text += "}\n";
    return text;
}

}  // namespace kt
