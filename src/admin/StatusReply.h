#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kt::admin {

// The block lists of a status reply as the application reads them: each
// member only when it has exactly the expected type, else empty.
struct StatusReply {
    std::vector<std::string> domains;
    std::vector<std::string> ips;
    std::vector<std::pair<std::string, std::string>> ipRanges;
};

// Reads the reply in `path`. On failure returns nothing and sets `error` to
// a one-line description (unreadable file, not JSON, not an object).
std::optional<StatusReply> readStatusReply(const std::string& path, std::string& error);

}  // namespace kt::admin
