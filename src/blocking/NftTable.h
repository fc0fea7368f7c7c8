#pragma once

#include <string>
#include <vector>

#include "blocking/FirewallRule.h"

namespace kt {

// The firewall on Linux: the rule set becomes one nftables table of the
// application's own.

// The table every rule lives in, and what the undo and restore commands delete.
inline constexpr const char* nftTableName = "inet ka_tesmar";

// One rule in nftables syntax, without a set: "ip daddr 1.1.1.1 tcp dport
// 443 drop", "meta nfproto ipv6 udp dport 853 drop". A rule for both
// families matches no family: "tcp dport 853 drop".
std::string nftRule(const FirewallRule& rule);

// The input of `nft -f` that replaces the table in one transaction: it is
// created if missing, deleted and created anew with every rule, so a
// half-loaded rule set is never in force. Rules that differ only in their
// address share a named interval set ("v4_tcp_443": IPv4, tcp, port 443) and
// one rule that matches the set, so the rule count stays flat however many
// addresses there are; duplicate and overlapping elements are merged when the
// set is loaded. The rules sit in one chain that the output and forward hooks
// jump to. The addresses of `acceptedAddresses` (single ones: the class
// service's, the name servers') are accepted first in that chain, so no drop
// rule, however wide, cuts them off.
std::string nftTableFile(const std::vector<FirewallRule>& rules,
                         const std::vector<std::string>& acceptedAddresses = {});

}  // namespace kt
