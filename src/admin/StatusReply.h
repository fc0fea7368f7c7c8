#pragma once

#include <optional>
#include <string>

#include "session/ServiceReplies.h"

namespace kt::admin {

// Reads a status reply from the file at `path` with the application's own
// reply reader. On failure returns nothing and sets `error` to a one-line
// description (unreadable file, not JSON, not a JSON object).
std::optional<StatusReply> readStatusReplyFile(const std::string& path, std::string& error);

}  // namespace kt::admin
