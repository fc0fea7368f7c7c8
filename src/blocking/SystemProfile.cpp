#include "blocking/SystemProfile.h"

namespace kt {

std::string_view nativeProfileName() {
#ifdef __linux__
    return "linux";
#else
    return "macos";
#endif
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

std::string printfHostsLines(const std::vector<HostsEntry>& entries) {
    std::string lines;
    for (const HostsEntry& entry : entries) lines += entry.address + " " + entry.name + "\\n";
    return lines;
}

std::string SystemProfile::manualRestore(bool backupPresent) const {
    return "mkdir -p '" + singleQuoteEscaped(paths().backupDir) + "'; " +
           automaticRestore(backupPresent);
}

std::string SystemProfile::restoreCommand(RestoreVariant variant, bool backupPresent) const {
    switch (variant) {
        case RestoreVariant::Automatic:
            return automaticRestore(backupPresent);
        case RestoreVariant::Manual:
            return manualRestore(backupPresent);
        case RestoreVariant::Signal:
            return signalRestore();
    }
    return {};
}

}  // namespace kt
