#pragma once

#include "blocking/SystemProfile.h"

namespace kt {

// Linux: the hosts file, an nftables table of its own (inet ka_tesmar) and a
// guardian run by a systemd timer.
class LinuxProfile final : public SystemProfile {
  public:
    LinuxProfile();

    std::string_view name() const override { return "linux"; }
    const SystemPaths& paths() const override { return paths_; }
    std::string activationScript(const std::string& hostsEntries, const std::string& rulesText,
                                 const std::string& homeFolder) const override;
    std::string undoCommand() const override;

  private:
    std::string automaticRestore(bool backupPresent) const override;
    std::string signalRestore() const override;
    // What undo and the automatic restore do after the hosts file: the guardian,
    // the table, the caches and the lock.
    std::string systemCleanup() const;
    std::string guardianRemoval() const;
    std::string firewallRemoval() const;

    SystemPaths paths_;
    std::string guardianService_;
    std::string timerLink_;
};

}  // namespace kt
