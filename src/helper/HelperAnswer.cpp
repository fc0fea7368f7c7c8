#include "helper/HelperAnswer.h"

#include <iostream>
#include <sstream>

namespace kt {
namespace {

// The one line that says why a script failed: its last non-empty line of
// error output, or a general one.
std::string failureLine(const ProcessResult& script) {
    if (!script.started)
        return "Kon bash niet starten: " + script.startError;
    std::istringstream lines(script.standardError);
    std::string line, last;
    while (std::getline(lines, line))
        if (line.find_first_not_of(" \t\r") != std::string::npos)
            last = line;
    if (!last.empty())
        return last;
    return "Blokkeringsstap mislukt (status " + std::to_string(script.exitStatus) + ")";
}

}  // namespace

int answer(const ProcessResult& script) {
    std::cout << script.standardOutput << std::flush;
    if (script.started && script.exitStatus == 0)
        return 0;
    std::cerr << failureLine(script) << "\n";
    return script.started && script.exitStatus > 0 ? script.exitStatus : 1;
}

int answerFailure(const std::string& line) {
    std::cerr << line << "\n";
    return 1;
}

}  // namespace kt
