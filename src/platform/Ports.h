#pragma once

#include "platform/HttpClient.h"
#include "platform/NetworkInterfaces.h"
#include "platform/Pasteboard.h"
#include "platform/Scheduler.h"
#include "platform/Settings.h"
#include "platform/SystemInformation.h"
#include "platform/TimeFormatter.h"

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
};

}  // namespace kt
