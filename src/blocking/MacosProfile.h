#pragma once

#include "blocking/SystemProfile.h"

namespace kt {

// macOS: the hosts file, a pf anchor hooked into /etc/pf.conf and a launchd
// guardian daemon.
class MacosProfile final : public SystemProfile {
  public:
    MacosProfile();

    std::string_view name() const override { return "macos"; }
    const SystemPaths& paths() const override { return paths_; }
    std::string activationScript(const ActivationPlan& plan,
                                 const std::string& homeFolder) const override;
    std::string undoCommand() const override;

  private:
    std::string automaticRestore(bool backupPresent) const override;
    std::string signalRestore() const override;

    SystemPaths paths_;
};

}  // namespace kt
