#include "app/AppState.h"
#include "app/SignalRestore.h"
#include "blocking/SystemProfile.h"

namespace kt {

void runSignalRestore(const SystemProfile& profile, const PrivilegeStrategy* privilege,
                      ProcessRunner& processes) {
    ProcessRequest request;
    if (profile.usesRootHelper() && privilege) {
        request = privilege->helperRequestFor("restore");
    } else {
        request.program = "/bin/sh";
        request.arguments = {"-c", profile.restoreCommand(RestoreVariant::Signal, false)};
    }
    request.standardOutput = ProcessOutput::Inherit;
    request.standardError = ProcessOutput::Inherit;
    processes.run(request);
}

// Only SIGTERM is handled. The response gets the profile and the process
// runner, never the state: it runs on its own thread while the main thread
// may be anywhere.
void AppState::setupSignalHandlers() {
    if (!ports_.terminationSignal || !ports_.processes)
        return;
    const SystemProfile* profile = &systemProfile();
    ProcessRunner* processes = ports_.processes;
    const PrivilegeStrategy* privilege = ports_.privilege;
    ports_.terminationSignal->onTerminationSignal(
        [profile, privilege, processes] { runSignalRestore(*profile, privilege, *processes); });
}

}  // namespace kt
