#pragma once

#include <string>

#include "platform/BlockingWait.h"
#include "platform/FileSystem.h"
#include "platform/HttpClient.h"
#include "platform/LifetimeLock.h"
#include "platform/ModalAlert.h"
#include "platform/NetworkInterfaces.h"
#include "platform/Pasteboard.h"
#include "platform/PrivilegeStrategy.h"
#include "platform/ProcessRunner.h"
#include "platform/Scheduler.h"
#include "platform/Settings.h"
#include "platform/Sound.h"
#include "platform/SystemInformation.h"
#include "platform/TerminationSignal.h"
#include "platform/TimeFormatter.h"
#include "platform/WakeNotifications.h"
#include "platform/WorkerThreads.h"

namespace kt {

// Everything AppState needs from outside the process. The application wires
// the real adapters; tests wire fakes. The ports outlive the AppState.
struct Ports {
    Scheduler* scheduler = nullptr;
    Clock* clock = nullptr;
    TimeFormatter* timeFormatter = nullptr;
    HttpClient* http = nullptr;
    NetworkInterfaces* networkInterfaces = nullptr;
    SystemInformation* systemInformation = nullptr;
    Pasteboard* pasteboard = nullptr;
    Beeper* beeper = nullptr;
    SpeechSynthesizer* speech = nullptr;
    BlockingWait* blockingWait = nullptr;
    ProcessRunner* processes = nullptr;
    FileSystem* files = nullptr;
    WorkerThreads* workers = nullptr;
    const PrivilegeStrategy* privilege = nullptr;
    WakeNotifications* wakeNotifications = nullptr;
    ModalAlert* modalAlert = nullptr;
    TerminationSignal* terminationSignal = nullptr;
    LifetimeLock* lifetimeLock = nullptr;
    // The system profile blocking writes through ("macos", "linux"). The
    // construction sequence already needs it (start-up clean-up, SIGTERM).
    std::string systemProfileName = "macos";
};

}  // namespace kt
