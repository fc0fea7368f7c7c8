#include "blocking/ActivationPlan.h"

#include "blocking/RuleText.h"

namespace kt {

ActivationPlan makeActivationPlan(const CheckedBlockData& data,
                                  const std::vector<std::string>& resolvedRules) {
    ActivationPlan plan;
    plan.hostsEntries = makeHostsEntries(data.domains);
    plan.hostsCount = hostsCountFor(data.domains);
    RuleSet rules = assembleRuleSet(data.ips, resolvedRules);
    plan.rulesText = std::move(rules.text);
    plan.firewallCount = rules.count;
    return plan;
}

}  // namespace kt
