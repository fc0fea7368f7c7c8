#pragma once

#include <string>
#include <vector>

namespace kt {

// Hosts entries for the names, in list order: "0.0.0.0 N" and "::1 N", plus
// the same two for "www.N" unless N starts with "www.". Entries are separated
// by the two characters backslash and n (for printf '%b'), not by line feeds.
std::string makeHostsEntries(const std::vector<std::string>& names);

// The displayed hosts figure: two per name, duplicates counted.
int hostsCountFor(const std::vector<std::string>& names);
// The number of names a hosts figure stands for.
int namesCountFor(int hostsCount);

// The packet-filter rule that drops traffic to one address or network.
std::string addressRule(const std::string& address);

struct RuleSet {
    std::string text;  // distinct rules, sorted by bytes, joined by line feeds
    int count = 0;     // number of distinct rules
};

// The fixed encrypted-DNS and service-range rules, one rule per blocked
// address (list order) and the resolved-address rules, made distinct and sorted.
RuleSet assembleRuleSet(const std::vector<std::string>& blockIPs,
                        const std::vector<std::string>& resolvedRules);

}  // namespace kt
