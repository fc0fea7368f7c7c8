#include <gtest/gtest.h>

#include "LogMessages.h"
#include "TestPorts.h"
#include "app/AppState.h"
#include "blocking/SystemProfile.h"

using kt::AppState;
using kt::Seconds;
using kt::testing::FakeProcessRunner;
using kt::testing::logMessages;
using Lines = std::vector<std::string>;

namespace {

const kt::SystemPaths& linuxPaths() {
    return kt::profileNamed("linux")->paths();
}

}  // namespace

TEST(StartupCleanup, BlockingLeftBehindIsRestoredBeforeTheWindowAndTheAlertSaysHowItWent) {
    struct Case {
        std::string evidence;  // the file that tells of an earlier run
        int helperStatus;
        const char* lastLine;
        const char* alertTitle;
        kt::AlertContent::Style style;
    };
    const Case cases[] = {
        {linuxPaths().lockFile, 0, "STARTUP CLEANUP: Netwerkinstellingen hersteld",
         "Internetinstellingen hersteld", kt::AlertContent::Style::Informational},
        {linuxPaths().guardianDefinition, 1,
         "STARTUP CLEANUP FOUT: Netwerkinstellingen niet hersteld",
         "Internetinstellingen niet hersteld", kt::AlertContent::Style::Warning},
        {linuxPaths().hostsFile, 0, "STARTUP CLEANUP: Netwerkinstellingen hersteld",
         "Internetinstellingen hersteld", kt::AlertContent::Style::Informational},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.evidence);
        kt::testing::TestPorts fakes;
        fakes.files.putFile(c.evidence, "127.0.0.1 localhost\n# Ka Tesmar Start\n");
        std::size_t wakeObserversDuringRestore = 99;
        int signalInstallationsDuringRestore = 99;
        fakes.processes.setHandler([&](const kt::ProcessRequest&) {
            wakeObserversDuringRestore = fakes.wakeNotifications.observers.size();
            signalInstallationsDuringRestore = fakes.terminationSignal.installations;
            return FakeProcessRunner::exited(c.helperStatus, "", "Niet hersteld: hosts-bestand\n");
        });

        auto state = AppState::create(fakes.ports());
        const auto runs = fakes.processes.requests();
        ASSERT_EQ(runs.size(), 1u) << "restored inside the construction, before any window";
        EXPECT_EQ(runs[0].program, "/usr/bin/pkexec");
        EXPECT_EQ(runs[0].arguments.back(), "restore");
        EXPECT_EQ(wakeObserversDuringRestore, 1u) << "the wake observer is registered first";
        EXPECT_EQ(signalInstallationsDuringRestore, 0) << "the signal handler comes last";

        fakes.scheduler.advance(Seconds{0.99});
        EXPECT_EQ(logMessages(state->debugLog.get()).at(0), c.lastLine);
        EXPECT_TRUE(fakes.modalAlert.shown.empty()) << "the alert waits 1.0 s";
        fakes.scheduler.advance(Seconds{10});
        ASSERT_EQ(fakes.modalAlert.shown.size(), 1u);
        EXPECT_EQ(fakes.modalAlert.shown[0].content.messageText, c.alertTitle);
        EXPECT_EQ(fakes.modalAlert.shown[0].content.style, c.style);
    }
}

TEST(StartupCleanup, MacosRestoresThroughTheShellFromTheBackupIfThereIsOne) {
    for (const bool backup : {true, false}) {
        kt::testing::TestPorts fakes;
        fakes.systemProfile = "macos";
        const auto& paths = kt::profileNamed("macos")->paths();
        fakes.files.putFile(paths.lockFile, "active\n");
        if (backup)
            fakes.files.putFile(paths.backupPath, "127.0.0.1 localhost\n");
        auto state = AppState::create(fakes.ports());
        const auto runs = fakes.processes.requests();
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0].arguments, (Lines{"-c", state->systemProfile().restoreCommand(
                                                      kt::RestoreVariant::Automatic, backup)}));
    }
}

TEST(StartupCleanup, WithoutATraceOfAnEarlierRunNothingRunsAndNoAlertIsShown) {
    kt::testing::TestPorts fakes;
    // A backup alone, or a hosts file without our block, is no sign of an unfinished run.
    fakes.files.putFile(linuxPaths().backupPath, "127.0.0.1 localhost\n");
    fakes.files.putFile(linuxPaths().hostsFile, "127.0.0.1 localhost\n");
    auto state = AppState::create(fakes.ports());
    fakes.scheduler.advance(Seconds{5});
    EXPECT_TRUE(fakes.processes.requests().empty());
    EXPECT_EQ(logMessages(state->debugLog.get()), (Lines{"Wake observer geactiveerd"}));
    EXPECT_TRUE(fakes.modalAlert.shown.empty());
}
