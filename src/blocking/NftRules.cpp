#include "blocking/NftRules.h"

#include "text/TextUtil.h"

#include <algorithm>

#include "blocking/Validation.h"

namespace kt {
namespace {

enum class Family { Any, IPv4, IPv6 };

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    while (!text.empty()) {
        std::size_t space = text.find(' ');
        if (space == 0)
            return {};  // two blanks in a row: not a rule the engine wrote
        out.push_back(text.substr(0, space));
        if (space == std::string_view::npos)
            break;
        text.remove_prefix(space + 1);
        if (text.empty())
            return {};  // a trailing blank
    }
    return out;
}

bool isPort(std::string_view text) {
    if (text.empty() || text.size() > 5 || text.front() == '0')
        return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value <= 65535;
}

}  // namespace

namespace {

// One rule of the set, read apart: which packets (family, protocol, port) to
// which target. An empty target is "any".
struct ParsedRule {
    Family family = Family::Any;
    std::string protocol;
    std::string port;
    std::string target;
};

std::optional<ParsedRule> parseRule(std::string_view pfRule) {
    const std::vector<std::string_view> w = words(pfRule);
    std::size_t at = 0;
    auto next = [&](std::string_view word) {
        if (at < w.size() && w[at] == word) {
            ++at;
            return true;
        }
        return false;
    };
    if (!next("block") || !next("drop") || !next("quick"))
        return std::nullopt;

    ParsedRule rule;
    if (next("inet"))
        rule.family = Family::IPv4;
    else if (next("inet6"))
        rule.family = Family::IPv6;

    if (next("proto")) {
        if (at >= w.size() || (w[at] != "tcp" && w[at] != "udp"))
            return std::nullopt;
        rule.protocol = w[at++];
    }
    if (!next("from") || !next("any") || !next("to") || at >= w.size())
        return std::nullopt;

    const std::string_view target = w[at++];
    if (target != "any") {
        if (!isValidAddress(target))
            return std::nullopt;
        const bool v6 = target.find(':') != std::string_view::npos;
        if ((rule.family == Family::IPv4 && v6) || (rule.family == Family::IPv6 && !v6))
            return std::nullopt;
        rule.family = v6 ? Family::IPv6 : Family::IPv4;
        rule.target = target;
    }

    if (next("port")) {
        // A port only means something with a protocol, as in pf.
        if (rule.protocol.empty() || at >= w.size() || !isPort(w[at]))
            return std::nullopt;
        rule.port = w[at++];
    }
    if (at != w.size())
        return std::nullopt;
    return rule;
}

// The part of a rule after its address match.
std::string protocolMatchAndVerdict(const ParsedRule& rule) {
    if (!rule.port.empty())
        return rule.protocol + " dport " + rule.port + " drop";
    if (!rule.protocol.empty())
        return "meta l4proto " + rule.protocol + " drop";
    return "drop";
}

std::string addressMatch(Family family) {
    return family == Family::IPv6 ? "ip6 daddr " : "ip daddr ";
}

// Rules that differ only in their address share one named set: "v4",
// "v6_tcp", "v4_tcp_443".
struct AddressSet {
    std::string name;
    ParsedRule shape;  // the rule with its target left out
    std::vector<std::string> elements;
};

std::string setDefinition(const AddressSet& set) {
    std::string text = "  set " + set.name + " {\n";
    text += std::string("    type ") +
            (set.shape.family == Family::IPv6 ? "ipv6_addr" : "ipv4_addr") +
            "; flags interval; auto-merge;\n";
    text += "    elements = {";
    for (std::size_t i = 0; i < set.elements.size(); ++i)
        text += (i ? ",\n      " : "\n      ") + set.elements[i];
    return text + "\n    }\n  }\n";
}

// The set of that name, added at the end with `shape` when there is none yet.
AddressSet& setNamed(std::vector<AddressSet>& sets, const std::string& name,
                     const ParsedRule& shape) {
    auto set =
        std::find_if(sets.begin(), sets.end(), [&](const AddressSet& s) { return s.name == name; });
    if (set == sets.end())
        set = sets.insert(sets.end(), AddressSet{name, shape, {}});
    return *set;
}

}  // namespace

std::optional<std::string> nftRuleFor(std::string_view pfRule) {
    const auto rule = parseRule(pfRule);
    if (!rule)
        return std::nullopt;
    std::string match;
    if (!rule->target.empty())
        match = addressMatch(rule->family) + rule->target + " ";
    else if (rule->family == Family::IPv4)
        match = "meta nfproto ipv4 ";
    else if (rule->family == Family::IPv6)
        match = "meta nfproto ipv6 ";
    return match + protocolMatchAndVerdict(*rule);
}

NftRuleFile nftRuleFile(const std::string& rulesText,
                        const std::vector<std::string>& protectedAddresses) {
    NftRuleFile file;
    std::vector<AddressSet> kept;  // accepted before any drop
    for (const std::string& address : protectedAddresses) {
        if (!isSingleAddress(address))
            continue;
        ParsedRule shape;
        shape.family = address.find(':') != std::string::npos ? Family::IPv6 : Family::IPv4;
        setNamed(kept, shape.family == Family::IPv6 ? "protected_v6" : "protected_v4", shape)
            .elements.push_back(address);
    }
    std::vector<AddressSet> sets;  // in order of first appearance
    std::string anyTargetRules;
    for (std::string_view line : text::nonEmptyLines(rulesText)) {
        const std::string ruleText(line);
        if (auto rule = parseRule(ruleText)) {
            ++file.ruleCount;
            if (rule->target.empty()) {
                anyTargetRules += "    " + *nftRuleFor(ruleText) + "\n";
            } else {
                std::string name = rule->family == Family::IPv6 ? "v6" : "v4";
                for (const std::string& part : {rule->protocol, rule->port})
                    if (!part.empty())
                        name += "_" + part;
                setNamed(sets, name, *rule).elements.push_back(rule->target);
            }
        } else {
            file.untranslatable.push_back(ruleText);
        }
    }

    const std::string table = nftTableName;
    // Creating the table first lets the delete succeed on a first activation;
    // nft applies the whole file as one transaction.
    file.text = "table " + table + "\n";
    file.text += "delete table " + table + "\n";
    file.text += "table " + table + " {\n";
    for (const AddressSet& set : kept) file.text += setDefinition(set);
    for (const AddressSet& set : sets) file.text += setDefinition(set);
    file.text += "  chain blocked {\n";
    for (const AddressSet& set : kept)
        file.text += "    " + addressMatch(set.shape.family) + "@" + set.name + " accept\n";
    for (const AddressSet& set : sets)
        file.text += "    " + addressMatch(set.shape.family) + "@" + set.name + " " +
                     protocolMatchAndVerdict(set.shape) + "\n";
    file.text += anyTargetRules + "  }\n";
    file.text += "  chain output {\n";
    file.text += "    type filter hook output priority filter; policy accept;\n";
    file.text += "    jump blocked\n";
    file.text += "  }\n";
    file.text += "  chain forward {\n";
    file.text += "    type filter hook forward priority filter; policy accept;\n";
    file.text += "    jump blocked\n";
    file.text += "  }\n";
    file.text += "}\n";
    return file;
}

}  // namespace kt
