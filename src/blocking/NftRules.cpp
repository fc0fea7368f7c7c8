#include "blocking/NftRules.h"

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

std::optional<std::string> nftRuleFor(std::string_view pfRule) {
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

    Family family = Family::Any;
    if (next("inet"))
        family = Family::IPv4;
    else if (next("inet6"))
        family = Family::IPv6;

    std::string_view protocol;
    if (next("proto")) {
        if (at >= w.size() || (w[at] != "tcp" && w[at] != "udp"))
            return std::nullopt;
        protocol = w[at++];
    }
    if (!next("from") || !next("any") || !next("to") || at >= w.size())
        return std::nullopt;

    std::string match;
    const std::string_view target = w[at++];
    if (target == "any") {
        if (family == Family::IPv4)
            match = "meta nfproto ipv4 ";
        else if (family == Family::IPv6)
            match = "meta nfproto ipv6 ";
    } else {
        if (!isValidAddress(target))
            return std::nullopt;
        const bool v6 = target.find(':') != std::string_view::npos;
        if ((family == Family::IPv4 && v6) || (family == Family::IPv6 && !v6))
            return std::nullopt;
        match = std::string(v6 ? "ip6 daddr " : "ip daddr ") + std::string(target) + " ";
    }

    if (next("port")) {
        // A port only means something with a protocol, as in pf.
        if (protocol.empty() || at >= w.size() || !isPort(w[at]))
            return std::nullopt;
        match += std::string(protocol) + " dport " + std::string(w[at++]) + " ";
    } else if (!protocol.empty()) {
        match += "meta l4proto " + std::string(protocol) + " ";
    }
    if (at != w.size())
        return std::nullopt;
    return match + "drop";
}

NftRuleFile nftRuleFile(const std::string& rulesText) {
    NftRuleFile file;
    std::string rules;
    std::size_t start = 0;
    while (start <= rulesText.size()) {
        std::size_t end = rulesText.find('\n', start);
        if (end == std::string::npos)
            end = rulesText.size();
        if (end > start) {
            const std::string rule = rulesText.substr(start, end - start);
            if (auto translated = nftRuleFor(rule)) {
                rules += "    " + *translated + "\n";
                ++file.ruleCount;
            } else {
                file.untranslatable.push_back(rule);
            }
        }
        start = end + 1;
    }

    const std::string table = nftTableName;
    // Creating the table first lets the delete succeed on a first activation;
    // nft applies the whole file as one transaction.
    file.text = "table " + table + "\n";
    file.text += "delete table " + table + "\n";
    file.text += "table " + table + " {\n";
    file.text += "  chain blocked {\n" + rules + "  }\n";
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
