#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "blocking/ActivationPlan.h"

namespace kt {

// The three restore commands, for three situations: start-up and quit, the
// restore button (with administrator rights) and the termination signal.
enum class RestoreVariant { Automatic, Manual, Signal };

// Where one operating system keeps what blocking writes.
struct SystemPaths {
    std::string hostsFile;
    std::string hostsStartMarker;  // first line of the application's hosts block
    std::string backupDir;
    std::string backupPath;
    std::string lockFile;
    std::string rulesFile;  // the firewall rules: the pf anchor, the input of nft -f
    std::string firewallConfig;
    std::string guardianScript;
    std::string guardianDefinition;
};

// The paths, script texts and tools of one operating system. The activation
// script, the undo command and the restore commands are built here and
// nowhere else.
class SystemProfile {
  public:
    virtual ~SystemProfile() = default;

    virtual std::string_view name() const = 0;
    virtual const SystemPaths& paths() const = 0;
    // Whether the application hands its blocking steps to the root helper
    // (which runs this profile's scripts itself) instead of running scripts.
    virtual bool usesRootHelper() const { return false; }

    // The whole activation script for the plan; `homeFolder` is the user's home.
    virtual std::string activationScript(const ActivationPlan& plan,
                                         const std::string& homeFolder) const = 0;
    // One command line that undoes an activation.
    virtual std::string undoCommand() const = 0;
    // One command line that takes out everything blocking put in. The
    // automatic and manual variants differ with `backupPresent`; the signal
    // variant lets the shell test for the backup and ignores it.
    std::string restoreCommand(RestoreVariant variant, bool backupPresent) const;

  protected:
    // The automatic command; the manual one is by default the same after
    // making the backup folder.
    virtual std::string automaticRestore(bool backupPresent) const = 0;
    virtual std::string manualRestore(bool backupPresent) const;
    virtual std::string signalRestore() const = 0;
};

// The profile of that name ("macos" or "linux"), or nullptr for an unknown name.
const SystemProfile* profileNamed(std::string_view name);

// The profile of the system this program was built for: "linux" on Linux,
// "macos" elsewhere.
std::string_view nativeProfileName();

// `text` inside single quotes for a POSIX shell: every single quote becomes '\''.
std::string singleQuoteEscaped(std::string_view text);

// The hosts entries as the text of printf '%b': "ADDRESS NAME" each, and after
// each the two characters backslash and n, which printf makes a line break.
std::string printfHostsLines(const std::vector<HostsEntry>& entries);

}  // namespace kt
