#pragma once

#include <string>
#include <vector>

#include "blocking/FirewallRule.h"
#include "blocking/HelperRequest.h"
#include "blocking/HostsEntry.h"
#include "blocking/Validation.h"

namespace kt {

// What one activation writes into the system, as each profile renders it.
struct ActivationPlan {
    std::vector<HostsEntry> hostsEntries;
    std::vector<FirewallRule> firewallRules;  // each once, in the order profiles list them
    // What the root helper lets through before any drop rule: the class
    // service's and the name servers' single addresses.
    std::vector<std::string> protectedAddresses;
    // The same data as a request for the root helper (linux).
    HelperRequest helperRequest;

    // The two counters the block shows once it is in force.
    int hostsCount() const { return hostsCountOf(hostsEntries); }
    int firewallCount() const { return static_cast<int>(firewallRules.size()); }
};

// The hosts entries of the checked names, and the fixed rules with one rule
// per checked address and per looked-up address (each a single address that
// the lookup's checks let through).
ActivationPlan makeActivationPlan(const CheckedBlockData& data,
                                  const std::vector<std::string>& lookedUpAddresses);

// What the root helper writes for a request: only valid, blockable names and
// addresses, none of the protected ones, and looked-up addresses only as
// single addresses; the protected single addresses (the request's and
// `resolvers`, the computer's name servers) are kept reachable.
ActivationPlan helperPlan(const HelperRequest& request, const std::vector<std::string>& resolvers);

}  // namespace kt
