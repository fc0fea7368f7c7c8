#include "app/state/DebugLogText.h"

namespace kt::debuglog {

std::string prepend(const std::string& log, const std::string& line) {
    std::string result;
    result.reserve(line.size() + 1 + log.size());
    result += line;
    result += '\n';
    result += log;
    return result;
}

std::optional<std::string> capped(const std::string& log) {
    std::size_t pieces = 1;
    std::size_t cut = std::string::npos;
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i] != '\n')
            continue;
        if (pieces == maxPieces) {
            cut = i;
            break;
        }
        ++pieces;
    }
    if (cut == std::string::npos)
        return std::nullopt;
    return log.substr(0, cut);
}

}  // namespace kt::debuglog
