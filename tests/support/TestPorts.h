#pragma once

#include <gtest/gtest.h>

#include <string>

#include "Fakes.h"
#include "platform/Ports.h"
#include "privilege/PrivilegeStrategies.h"

namespace kt::testing {

// A full set of fakes for an AppState under test, in virtual time. Blocking
// goes through the linux profile and the root helper unless a test chooses
// the macOS profile (macos()) and its password prompt.
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
    FakeModalAlert modalAlert;
    FakeTerminationSignal terminationSignal;
    // In the order of Ports' members.
    Ports ports() {
        const PrivilegeStrategy* privilege = &pkexec;
        if (systemProfileName == "macos")
            privilege = &osascript;
        // clang-format off
        return {&scheduler, &scheduler, &timeFormatter, &http, &networkInterfaces,
                &systemInformation, &pasteboard, &beeper, &speech, &blockingWait, &processes,
                &files, &workers, privilege, &wakeNotifications, &modalAlert, &terminationSignal,
                nullptr, systemProfileName};
        // clang-format on
    }
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
