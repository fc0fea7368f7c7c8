#pragma once

#include <string>

namespace kt {

// One blocking step for the administrator: a shell script that the
// privilege strategy runs as root (macOS), or a verb of the root helper with
// its request for standard input (linux). The helper builds its own script
// from the request; nothing of the caller's is run as root there.
struct PrivilegedCommand {
    std::string script;
    std::string helperVerb;
    std::string helperInput;

    bool usesHelper() const { return !helperVerb.empty(); }

    static PrivilegedCommand shellScript(std::string text) { return {std::move(text), {}, {}}; }
    static PrivilegedCommand helper(std::string verb, std::string input = {}) {
        return {{}, std::move(verb), std::move(input)};
    }
};

}  // namespace kt
