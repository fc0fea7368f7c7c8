#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kt {

// What the application hands the root helper for an activation: data only,
// never a script, a path or a command. The helper checks all of it again.
struct HelperRequest {
    std::vector<std::string> names;      // host names to block
    std::vector<std::string> addresses;  // addresses and networks to block
    std::vector<std::string> lookedUp;   // current addresses of the AI hosts
    // Never blocked: the class service's own addresses and host name, so the
    // teacher can always switch the block off again.
    std::vector<std::string> protectedAddresses;
    std::vector<std::string> protectedNames;
};

inline constexpr std::size_t maxHelperRequestBytes = std::size_t{1} << 20;
inline constexpr std::size_t maxHelperRequestItems = 2000;

std::string encodeHelperRequest(const HelperRequest& request);

// The request, or why it is refused: not a JSON object, an unknown member, a
// member that is not an array of strings, more than maxHelperRequestItems
// items in one list or more than maxHelperRequestBytes in all.
struct DecodedHelperRequest {
    std::optional<HelperRequest> request;
    std::string error;
};
DecodedHelperRequest decodeHelperRequest(std::string_view text);

}  // namespace kt
