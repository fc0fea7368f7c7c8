#include "blocking/SystemProfile.h"

#include "blocking/MacosProfile.h"

namespace kt {

const SystemProfile* profileNamed(std::string_view name) {
    static const MacosProfile macos;
    if (name == macos.name())
        return &macos;
    return nullptr;
}

std::string singleQuoteEscaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out;
}

}  // namespace kt
