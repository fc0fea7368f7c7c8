#pragma once

#include <utility>
#include <vector>

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
    // application clears the student's caches itself. The plan's protected
    // addresses are accepted before any drop rule.
    std::string activationScript(const ActivationPlan& plan,
                                 const std::string& homeFolder) const override;
    std::string undoCommand() const override;

    // The folder, only root's, of the helper's run lock and the scripts'
    // copies of the hosts file.
    static constexpr const char* runFolder = "/run/ka-tesmar";
    // Held (exclusive flock) by one helper run, or the guardian, at a time.
    static constexpr const char* runLockName = "run.lock";
    static constexpr const char* runLock = "/run/ka-tesmar/run.lock";
    // Held (shared flock) by the running application; the guardian restores
    // only when nobody holds it. The helper makes it for the user who
    // activated, mode 0600, so no other account can hold it.
    static constexpr const char* applicationLock = "/run/ka-tesmar-app.lock";
    // Where a script killed half-way may leave its temporary files: each
    // folder with the prefix of their names.
    static std::vector<std::pair<std::string, std::string>> temporaryFilePlaces();

  private:
    std::string automaticRestore(bool backupPresent) const override;
    std::string manualRestore(bool backupPresent) const override;
    std::string signalRestore() const override;
    std::string restoreScript() const;

    SystemPaths paths_;
};

}  // namespace kt
