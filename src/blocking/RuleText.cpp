#include "blocking/RuleText.h"

#include <algorithm>

#include "blocking/BlockLists.h"

namespace kt {

std::string makeHostsEntries(const std::vector<std::string>& names) {
    static constexpr const char* lineBreak = "\\n";  // backslash and n
    std::string entries;
    for (const auto& name : names) {
        entries += "0.0.0.0 " + name + lineBreak + "::1 " + name + lineBreak;
        if (!name.starts_with("www."))
            entries += "0.0.0.0 www." + name + lineBreak + "::1 www." + name + lineBreak;
    }
    return entries;
}

int hostsCountFor(const std::vector<std::string>& names) {
    return 2 * static_cast<int>(names.size());
}

int namesCountFor(int hostsCount) {
    return hostsCount / 2;
}

std::string addressRule(const std::string& address) {
    if (address.find(':') != std::string::npos)
        return "block drop quick inet6 from any to " + address;
    return "block drop quick from any to " + address;
}

RuleSet assembleRuleSet(const std::vector<std::string>& blockIPs,
                        const std::vector<std::string>& resolvedRules) {
    std::vector<std::string> rules = encryptedDnsRules();
    rules.insert(rules.end(), serviceRangeRules().begin(), serviceRangeRules().end());
    for (const auto& address : blockIPs) rules.push_back(addressRule(address));
    rules.insert(rules.end(), resolvedRules.begin(), resolvedRules.end());

    // std::string compares by char_traits<char>, which compares as unsigned bytes.
    std::sort(rules.begin(), rules.end());
    rules.erase(std::unique(rules.begin(), rules.end()), rules.end());

    RuleSet set;
    set.count = static_cast<int>(rules.size());
    for (std::size_t i = 0; i < rules.size(); ++i) {
        if (i > 0)
            set.text += '\n';
        set.text += rules[i];
    }
    return set;
}

}  // namespace kt
