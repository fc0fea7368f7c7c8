#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kt {

// Names and addresses from the class service end up in a root shell script,
// the hosts file and firewall rules. Only text that is plainly a host name or
// an address gets there; everything else is left out and reported.

// Letters, digits and hyphens in dot-separated labels of 1 to 63 characters,
// no label starting or ending with a hyphen, at most 253 characters in all.
bool isValidHostName(std::string_view name);

// An IPv4 address in dotted-decimal form or an IPv6 address in any of its
// textual forms (no zone index), optionally followed by "/" and a prefix
// length that fits the family.
bool isValidAddress(std::string_view text);

// A valid address that names at most a /8 (IPv4) or a /16 (IPv6) network:
// a wider one, such as 0.0.0.0/0, would cut the computer off from everything,
// the class service included, so that the teacher could not switch it off.
bool isBlockableAddress(std::string_view text);

bool isValidUtf8(std::string_view bytes);

// The block data of a status reply, split into what may be used and what not.
struct CheckedBlockData {
    std::vector<std::string> domains;  // valid names, in list order, duplicates kept
    std::vector<std::string> ips;      // valid addresses, in list order
    std::vector<std::string> rejectedDomains;
    std::vector<std::string> rejectedIPs;
};

CheckedBlockData checkBlockData(const std::vector<std::string>& blockedDomains,
                                const std::vector<std::string>& blockIPs);

// One debug-log line naming everything that was left out, or nothing when
// all of it was valid. Rejected text is shown escaped, never raw.
std::optional<std::string> rejectedInputLogLine(const CheckedBlockData& data,
                                                const std::vector<std::string>& rejectedAnswers);

}  // namespace kt
