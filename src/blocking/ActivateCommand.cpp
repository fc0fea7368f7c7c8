#include "app/AppState.h"
#include "blocking/SystemProfile.h"

namespace kt {

const SystemProfile& AppState::systemProfile() const {
    if (const SystemProfile* profile = profileNamed(systemProfileName))
        return *profile;
    return *profileNamed("macos");
}

std::string AppState::buildActivateCommand(const std::string& hostsEntries,
                                           const std::string& rulesText) const {
    std::string home = ports_.files ? ports_.files->homeDirectory() : std::string();
    return systemProfile().activationScript(hostsEntries, rulesText, home);
}

}  // namespace kt
