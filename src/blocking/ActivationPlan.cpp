#include "blocking/ActivationPlan.h"

#include <algorithm>
#include <iterator>

#include "blocking/BlockLists.h"
#include "blocking/RefusedTargets.h"

namespace kt {

ActivationPlan makeActivationPlan(const CheckedBlockData& data,
                                  const std::vector<std::string>& lookedUpAddresses) {
    ActivationPlan plan;
    plan.hostsEntries = hostsEntriesFor(data.domains);
    std::vector<FirewallRule> rules = encryptedDnsRules();
    rules.insert(rules.end(), serviceRangeRules().begin(), serviceRangeRules().end());
    for (const auto& address : data.ips) rules.push_back(blockAddress(address));
    for (const auto& address : lookedUpAddresses) rules.push_back(blockAddress(address));
    plan.firewallRules = distinctRules(std::move(rules));
    return plan;
}

ActivationPlan helperPlan(const HelperRequest& request, const std::vector<std::string>& resolvers) {
    ProtectedTargets protectedTargets{request.protectedAddresses, request.protectedNames};
    protectedTargets.addresses.insert(protectedTargets.addresses.end(), resolvers.begin(),
                                      resolvers.end());
    ActivationPlan plan =
        makeActivationPlan(checkBlockData(request.names, request.addresses, protectedTargets),
                           filterLookedUpAddresses(request.lookedUp, protectedTargets).used);
    std::copy_if(protectedTargets.addresses.begin(), protectedTargets.addresses.end(),
                 std::back_inserter(plan.protectedAddresses),
                 [](const std::string& address) { return isSingleAddress(address); });
    return plan;
}

}  // namespace kt
