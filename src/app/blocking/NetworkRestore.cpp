#include <string>

#include "app/blocking/BlockingController.h"
#include "blocking/SystemProfile.h"
#include "privilege/PrivilegedRunQueue.h"

namespace kt {
namespace {

// The hosts part of a restore differs with the backup; the log says which one ran.
std::string hostsRestoreLine(const char* prefix, bool backupPresent) {
    return std::string(prefix) + (backupPresent ? "Hosts hersteld vanuit backup"
                                                : "Alle hosts entries verwijderd (geen backup)");
}

}  // namespace

bool BlockingController::forceRestoreNetworkSettings() {
    const SystemProfile& profile = systemProfile();
    if (profile.usesRootHelper())
        return restoreThroughHelper();
    const bool backupPresent = ports_.files->exists(profile.paths().backupPath);
    const std::string command = profile.restoreCommand(RestoreVariant::Automatic, backupPresent);
    state_.addDebugLog(hostsRestoreLine("RESTORE: ", backupPresent));

    ProcessRequest shell;
    shell.program = "/bin/sh";
    shell.arguments = {"-c", command};
    shell.standardOutput = ProcessOutput::Discard;
    shell.standardError = ProcessOutput::Discard;
    if (ports_.processes->run(shell).started)
        return true;

    // Without a shell of our own, the administrator's shell is the last resort.
    std::weak_ptr<BlockingController> weak = weak_from_this();
    executeWithAdminRights(command, [weak](bool success, std::optional<std::string>) {
        if (auto self = weak.lock())
            self->state_.addDebugLog(success ? "RESTORE: Netwerk hersteld met admin rechten"
                                             : "RESTORE FOUT: Kon netwerk niet herstellen");
    });
    return true;
}

// The helper runs as root and says whether everything is out again; the
// caller waits for it, as for the shell.
bool BlockingController::restoreThroughHelper() {
    state_.addDebugLog("RESTORE: Herstel via de root-helper");
    if (!ports_.privilege || !ports_.processes) {
        state_.addDebugLog("RESTORE FOUT: Geen manier om als beheerder uit te voeren");
        return false;
    }
    const ProcessResult result =
        ports_.processes->run(ports_.privilege->helperRequestFor("restore"));
    if (result.started && result.exitStatus == 0) {
        state_.addDebugLog("RESTORE: Netwerk hersteld");
        return true;
    }
    state_.addDebugLog("RESTORE FOUT: " + privilegedErrorText(result).value_or("onbekend"));
    return false;
}

void BlockingController::manualRestoreNetwork(std::function<void(bool success)> completion) {
    state_.addDebugLog("MANUEEL HERSTEL: Gestart door gebruiker");
    const SystemProfile& profile = systemProfile();
    const bool backupPresent = ports_.files->exists(profile.paths().backupPath);
    const PrivilegedCommand command = restoreCommand(RestoreVariant::Manual, backupPresent);
    if (!profile.usesRootHelper())
        state_.addDebugLog(hostsRestoreLine("MANUEEL HERSTEL: ", backupPresent));
    // An activation still preparing its rules must not block again after this.
    ++undoRequests_;
    dropPendingActivation("intussen uitgeschakeld");

    std::weak_ptr<BlockingController> weak = weak_from_this();
    Scheduler* mainQueue = ports_.scheduler;
    executeWithAdminRights(command, [weak, mainQueue, completion = std::move(completion)](
                                        bool success, std::optional<std::string> error) {
        mainQueue->post([weak, completion, success, error] {
            if (auto self = weak.lock()) {
                if (success) {
                    self->state_.isBlocked = false;
                    self->state_.hostsCount = 0;
                    self->state_.firewallCount = 0;
                    self->state_.statusMessage = "Internet handmatig hersteld";
                    self->state_.addDebugLog("MANUEEL HERSTEL: Succesvol afgerond");
                    self->session_.reportBlock(self->reportInForce(BlockOutcome::Free));
                } else {
                    self->state_.addDebugLog("MANUEEL HERSTEL FOUT: " + error.value_or("onbekend"));
                }
            }
            if (completion)
                completion(success);
        });
    });
}

}  // namespace kt
