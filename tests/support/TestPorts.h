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
#include "platform/Ports.h"
#include "privilege/PrivilegeStrategies.h"

#include <gtest/gtest.h>

#include <string>

namespace kt::testing {

// A full set of fakes for an AppState under test, in virtual time. Blocking
// goes through the linux profile and the root helper unless a test chooses
// the macOS profile.
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
    PkexecStrategy pkexec{"/usr/libexec/ka-tesmar/ka-tesmar-helper"};
    OsascriptStrategy osascript;
    std::string systemProfileName = "linux";
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
        p.privilege = systemProfileName == "macos"
                          ? static_cast<const PrivilegeStrategy*>(&osascript)
                          : &pkexec;
        p.systemProfileName = systemProfileName;
        p.wakeNotifications = &wakeNotifications;
        p.modalAlert = &modalAlert;
        p.terminationSignal = &terminationSignal;
        return p;
    }

    // The macOS profile and its password prompt instead.
    TestPorts& macos() {
        systemProfileName = "macos";
        return *this;
    }

    // Runs the main queue and the workers until neither has anything to do.
    void settle() {
        for (int round = 0; round < 100; ++round)
            if (scheduler.runUntilIdle() + workers.runAll() == 0)
                return;
        ADD_FAILURE() << "the main queue and the workers never came to rest";
    }
};

}  // namespace kt::testing
