// Ka_Tesmar_e2e_core: the application's core with its real adapters and no
// window. It joins a class at the given service and then follows the teacher's
// switch as the application does, with the linux profile and the privileged
// runner of a process that already runs as root (the root helper built beside
// it). Every debug-log line goes to standard error. It holds the
// application's lifetime lock, so the guardian sees it as the running
// application.
//   Ka_Tesmar_e2e_core SERVICE_BASE_URL PROBE_URL CA_FILE STUDENT CODE
#include <QCoreApplication>
#include <cstdio>
#include <memory>

#include <unistd.h>

#include "app/AppState.h"
#include "app/DebugLogMirror.h"
#include "blocking/LinuxProfile.h"
#include "blocking/PrivilegeSelection.h"
#include "platform/qt/QtHttpClient.h"
#include "platform/qt/QtNetworkInterfaces.h"
#include "platform/qt/QtScheduler.h"
#include "platform/qt/QtSystemInformation.h"
#include "platform/qt/QtTimeFormatter.h"
#include "platform/qt/SystemClock.h"
#include "platform/system/FileLifetimeLock.h"
#include "platform/system/PosixFileSystem.h"
#include "platform/system/PosixProcessRunner.h"
#include "platform/system/PosixTerminationSignal.h"
#include "platform/system/ThreadWorkers.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s SERVICE_BASE_URL PROBE_URL CA_FILE STUDENT CODE\n",
                     argv[0]);
        return 2;
    }

    kt::QtScheduler scheduler;
    kt::SystemClock clock;
    kt::QtTimeFormatter timeFormatter;
    kt::QtHttpClient http(kt::QtHttpClient::Options{argv[3]});
    kt::QtNetworkInterfaces networkInterfaces;
    kt::QtSystemInformation systemInformation;
    kt::SteadyBlockingWait blockingWait;
    kt::PosixTerminationSignal terminationSignal;
    kt::PosixProcessRunner processes;
    kt::PosixFileSystem files;
    kt::ThreadWorkers workers;
    const std::unique_ptr<kt::PrivilegeStrategy> privilege =
        kt::selectPrivilegeStrategy("linux", ::geteuid() == 0);
    kt::FileLifetimeLock lifetimeLock(kt::LinuxProfile::applicationLock);
    kt::Ports ports;
    ports.systemProfile = "linux";
    ports.scheduler = &scheduler;
    ports.clock = &clock;
    ports.timeFormatter = &timeFormatter;
    ports.http = &http;
    ports.networkInterfaces = &networkInterfaces;
    ports.systemInformation = &systemInformation;
    ports.blockingWait = &blockingWait;
    ports.terminationSignal = &terminationSignal;
    ports.processes = &processes;
    ports.files = &files;
    ports.workers = &workers;
    ports.privilege = privilege.get();
    ports.lifetimeLock = &lifetimeLock;

    const std::shared_ptr<kt::AppState> state = kt::AppState::create(ports);
    kt::mirrorDebugLog(*state, [](const std::string& line) {
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
    });
    state->apiBaseURL = argv[1];
    state->probeURL = argv[2];
    state->loginWithClassCode(argv[4], argv[5]);
    return app.exec();
}
