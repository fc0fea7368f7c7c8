#pragma once

#include <string>
#include <vector>

#include "blocking/Validation.h"

namespace kt {

// What one activation writes into the system, and the two counters it shows
// once it succeeded.
struct ActivationPlan {
    std::string hostsEntries;
    std::string rulesText;
    int hostsCount = 0;
    int firewallCount = 0;
    // The same data as a request for the root helper (linux).
    std::string helperRequest;
    // What the root helper lets through before any drop rule: the class
    // service's and the name servers' addresses (single ones only).
    std::vector<std::string> protectedAddresses;
};

// Hosts entries and the rule set from the checked block data and the rules
// made from looked-up addresses.
ActivationPlan makeActivationPlan(const CheckedBlockData& data,
                                  const std::vector<std::string>& resolvedRules);

}  // namespace kt
