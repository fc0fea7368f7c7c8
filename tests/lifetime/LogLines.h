#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace kt::testing {

// The messages of the debug log, oldest first, without their time stamps.
inline std::vector<std::string> logMessages(const std::string& debugLog) {
    std::vector<std::string> lines;
    std::istringstream in(debugLog);
    std::string line;
    while (std::getline(in, line)) {
        const auto end = line.find("] ");
        lines.insert(lines.begin(), end == std::string::npos ? line : line.substr(end + 2));
    }
    return lines;
}

}  // namespace kt::testing
