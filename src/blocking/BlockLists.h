#pragma once

#include <string>
#include <vector>

#include "blocking/FirewallRule.h"

namespace kt {

// The fixed tables of the blocking engine. They never change at run time.

// Hosts of AI services whose current addresses are looked up at activation,
// grouped by service. Always 30 entries.
const std::vector<std::string>& aiHostList();

// Port 443 of public DNS-over-HTTPS resolvers and port 853 (DNS over TLS). 29 rules.
const std::vector<FirewallRule>& encryptedDnsRules();

// Whole networks of AI services. 15 rules.
const std::vector<FirewallRule>& serviceRangeRules();

}  // namespace kt
