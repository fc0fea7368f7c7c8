#pragma once

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace kt::testing {

// The messages of the debug log without their time stamps, newest first as
// the log holds them.
inline std::vector<std::string> logMessages(const std::string& debugLog) {
    std::vector<std::string> lines;
    std::istringstream in(debugLog);
    std::string line;
    while (std::getline(in, line)) {
        const auto end = line.find("] ");
        lines.push_back(end == std::string::npos ? line : line.substr(end + 2));
    }
    return lines;
}

inline bool logHas(const std::string& debugLog, const std::string& message) {
    const auto lines = logMessages(debugLog);
    return std::find(lines.begin(), lines.end(), message) != lines.end();
}

}  // namespace kt::testing
