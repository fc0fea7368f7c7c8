#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kt {

// The firewall on Linux: the rule set, written in packet-filter form by the
// rule text functions, becomes one nftables table of the application's own.

// The table every rule lives in, and what the undo and restore commands delete.
inline constexpr const char* nftTableName = "inet ka_tesmar";

// One rule of the set in nftables syntax ("ip daddr 1.1.1.1 tcp dport 443
// drop"), or nothing when the rule is not one of the forms the engine writes:
//   block drop quick [inet|inet6] [proto tcp|udp] from any to TARGET [port N]
// TARGET is "any" or an address or network. The address family, protocol
// and port are kept; "to any" without a family covers IPv4 and IPv6 both.
std::optional<std::string> nftRuleFor(std::string_view pfRule);

struct NftRuleFile {
    std::string text;   // the input of `nft -f`
    int ruleCount = 0;  // rules of `rulesText` translated, not nft rules written
    std::vector<std::string> untranslatable;  // rules that fit none of the forms
};

// The file that replaces the table in one transaction: it is created if
// missing, deleted and created anew with every rule of `rulesText` (split at
// line feeds, empty pieces skipped), so a half-loaded rule set is never in
// force. Rules that differ only in their address share a named interval set
// ("v4_tcp_443": IPv4, tcp, port 443) and one rule that matches the set, so
// the rule count stays flat however many addresses there are; duplicate and
// overlapping elements are merged when the set is loaded. The rules sit in
// one chain that the output and forward hooks jump to. The single addresses
// of `protectedAddresses` (the class service's, the name servers') are
// accepted first in that chain, so no drop rule, however wide, cuts them off.
NftRuleFile nftRuleFile(const std::string& rulesText,
                        const std::vector<std::string>& protectedAddresses = {});

}  // namespace kt
