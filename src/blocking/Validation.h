#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "blocking/RefusedTargets.h"

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

// A valid address without a prefix length: what a name lookup may answer.
bool isSingleAddress(std::string_view text);

// An address or network in 128-bit form. IPv4 is mapped into ::ffff:0:0/96,
// so 192.0.2.0/24 is held as ::ffff:192.0.2.0/120 and equals the IPv6 text
// "::ffff:192.0.2.0/120".
struct IpNetwork {
    std::array<std::uint8_t, 16> bytes{};
    unsigned prefixLength = 128;
};

// Nothing when `text` is not what isValidAddress accepts.
std::optional<IpNetwork> parseNetwork(std::string_view text);

// Whether the two networks share an address, that is one contains the other.
bool overlap(const IpNetwork& a, const IpNetwork& b);

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
    // Valid names and addresses past the limits, left out.
    std::size_t droppedOverLimit = 0;
};

// Invalid and refused (see RefusedTargets.h) items are rejected; of the rest
// at most maxBlockedNames names and maxBlockedAddresses addresses are used.
CheckedBlockData checkBlockData(const std::vector<std::string>& blockedDomains,
                                const std::vector<std::string>& blockIPs,
                                const ProtectedTargets& protectedTargets = {});
// The same in two steps, for a caller that learns protected addresses
// between them (names are refused for protected host names only).
CheckedBlockData checkBlockedNames(const std::vector<std::string>& blockedDomains,
                                   const ProtectedTargets& protectedTargets);
void checkBlockedAddresses(CheckedBlockData& data, const std::vector<std::string>& blockIPs,
                           const ProtectedTargets& protectedTargets);

// One debug-log line naming everything that was left out, or nothing when
// all of it was valid. Rejected text is shown escaped, never raw.
std::optional<std::string> rejectedInputLogLine(const CheckedBlockData& data,
                                                const std::vector<std::string>& rejectedAnswers);

// One debug-log line with the number of names and addresses left out over
// the limits, or nothing when none were.
std::optional<std::string> overLimitLogLine(const CheckedBlockData& data);

}  // namespace kt
