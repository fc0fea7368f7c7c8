#include "app/blocking/BlockingController.h"
#include "app/blocking/SignalRestore.h"
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

// Only SIGTERM is handled. The response gets the profile, the process runner
// and the ending flag, never the state: it runs on its own thread while the main thread
// may be anywhere.
void BlockingController::setupSignalHandlers() {
    if (!ports_.terminationSignal || !ports_.processes)
        return;
    const SystemProfile* profile = &systemProfile();
    ProcessRunner* processes = ports_.processes;
    const PrivilegeStrategy* privilege = ports_.privilege;
    // The flag is atomic: a pending activation sees it before its privileged run.
    std::shared_ptr<std::atomic<bool>> ending = ending_;
    ports_.terminationSignal->onTerminationSignal([profile, privilege, processes, ending] {
        ending->store(true);
        runSignalRestore(*profile, privilege, *processes);
    });
}

}  // namespace kt
