#pragma once

#include <optional>
#include <string>

namespace kt::debuglog {

// The number of pieces (text between line feeds) the log keeps.
inline constexpr std::size_t maxPieces = 100;

// The log with `line` and a line feed in front of it.
std::string prepend(const std::string& log, const std::string& line);

// The first maxPieces pieces joined by line feeds when the log holds more,
// nothing when it is within the cap.
std::optional<std::string> capped(const std::string& log);

}  // namespace kt::debuglog
