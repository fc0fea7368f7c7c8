#pragma once

#include "FakeBlockingWait.h"
#include "FakeFileSystem.h"
#include "FakeHttpClient.h"
#include "FakeModalAlert.h"
#include "FakeNetworkInterfaces.h"
#include "FakePasteboard.h"
#include "FakeProcessRunner.h"
#include "FakeSound.h"
#include "FakeSystemInformation.h"
#include "FakeTerminationSignal.h"
#include "FakeTimeFormatter.h"
#include "FakeWakeNotifications.h"
#include "ManualScheduler.h"
#include "ManualWorkers.h"
#include "blocking/PrivilegeStrategies.h"
#include "platform/Ports.h"

namespace kt::testing {

// A full set of fakes for an AppState under test, in virtual time.
struct TestPorts {
    ManualScheduler scheduler;
    FakeTimeFormatter timeFormatter;
    FakeHttpClient http;
    FakeNetworkInterfaces networkInterfaces;
    FakeSystemInformation systemInformation;
    FakePasteboard pasteboard;
    FakeBeeper beeper{scheduler};
    FakeSpeechSynthesizer speech{scheduler};
    FakeBlockingWait blockingWait;
    FakeProcessRunner processes;
    FakeFileSystem files;
    ManualWorkers workers;
    OsascriptStrategy privilege;
    FakeWakeNotifications wakeNotifications;
    FakeModalAlert modalAlert{scheduler};
    FakeTerminationSignal terminationSignal;

    Ports ports() {
        Ports p;
        p.scheduler = &scheduler;
        p.clock = &scheduler;
        p.timeFormatter = &timeFormatter;
        p.http = &http;
        p.networkInterfaces = &networkInterfaces;
        p.systemInformation = &systemInformation;
        p.pasteboard = &pasteboard;
        p.beeper = &beeper;
        p.speech = &speech;
        p.blockingWait = &blockingWait;
        p.processes = &processes;
        p.files = &files;
        p.workers = &workers;
        p.privilege = &privilege;
        p.wakeNotifications = &wakeNotifications;
        p.modalAlert = &modalAlert;
        p.terminationSignal = &terminationSignal;
        return p;
    }
};

}  // namespace kt::testing
