#include "app/AppState.h"
#include "app/SignalRestore.h"
#include "blocking/SystemProfile.h"

namespace kt {

void runSignalRestore(const SystemProfile& profile, ProcessRunner& processes) {
    ProcessRequest request;
    request.program = "/bin/sh";
    request.arguments = {"-c", profile.restoreCommand(RestoreVariant::Signal, false)};
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
    ports_.terminationSignal->onTerminationSignal(
        [profile, processes] { runSignalRestore(*profile, *processes); });
}

}  // namespace kt
