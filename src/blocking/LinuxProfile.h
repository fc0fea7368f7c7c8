#pragma once

#include "blocking/SystemProfile.h"

namespace kt {

// Linux: the hosts file, an nftables table of its own (inet ka_tesmar) and a
// guardian run by a systemd timer. Its scripts are run only by the root
// helper, which builds them itself from checked data.
class LinuxProfile final : public SystemProfile {
  public:
    LinuxProfile();

    std::string_view name() const override { return "linux"; }
    const SystemPaths& paths() const override { return paths_; }
    bool usesRootHelper() const override { return true; }
    // All or nothing: the state folder, the backup, the lock and the guardian
    // come first, then the hosts block and the table; any failed step puts
    // back what was there before. The home folder is not touched: the
    // application clears the student's caches itself.
    std::string activationScript(const std::string& hostsEntries, const std::string& rulesText,
                                 const std::string& homeFolder) const override;
    std::string undoCommand() const override;

    // The folder, only root's, where the helper writes the scripts it runs.
    static constexpr const char* runFolder = "/run/ka-tesmar";
    // Held (shared flock) by the running application and by the helper while
    // it runs; the guardian restores only when nobody holds it.
    static constexpr const char* applicationLock = "/run/ka-tesmar-app.lock";

  private:
    std::string automaticRestore(bool backupPresent) const override;
    std::string manualRestore(bool backupPresent) const override;
    std::string signalRestore() const override;
    std::string restoreScript() const;

    SystemPaths paths_;
};

}  // namespace kt
