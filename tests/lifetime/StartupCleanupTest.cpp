#include <gtest/gtest.h>

#include "LogLines.h"
#include "TestPorts.h"
#include "app/AppState.h"
#include "blocking/SystemProfile.h"

using kt::AppState;
using kt::Seconds;
using kt::testing::logMessages;
using Lines = std::vector<std::string>;

namespace {

// The paths of the profile that a new state object uses.
kt::SystemPaths pathsOfANewState() {
    kt::testing::TestPorts fakes;
    return AppState::create(fakes.ports())->systemProfile().paths();
}

}  // namespace

TEST(StartupCleanup, LockFileOfAnEarlierRunRestoresBeforeTheWindowAndAlertsOneSecondLater) {
    const kt::SystemPaths paths = pathsOfANewState();
    kt::testing::TestPorts fakes;
    fakes.files.putFile(paths.lockFile, "active\n");
    std::size_t wakeObserversDuringRestore = 99;
    int signalInstallationsDuringRestore = 99;
    fakes.processes.setHandler([&](const kt::ProcessRequest&) {
        wakeObserversDuringRestore = fakes.wakeNotifications.observers.size();
        signalInstallationsDuringRestore = fakes.terminationSignal.installations;
        return kt::testing::FakeProcessRunner::exited(0, "OK\n");
    });

    auto state = AppState::create(fakes.ports());

    // The restore has run inside the construction, so before any window.
    const auto runs = fakes.processes.requests();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].program, "/bin/sh");
    ASSERT_EQ(runs[0].arguments.size(), 2u);
    EXPECT_EQ(runs[0].arguments[0], "-c");
    EXPECT_EQ(runs[0].arguments[1],
              state->systemProfile().restoreCommand(kt::RestoreVariant::Automatic, false));
    EXPECT_EQ(wakeObserversDuringRestore, 1u) << "the wake observer is registered first";
    EXPECT_EQ(signalInstallationsDuringRestore, 0) << "the signal handler comes last";
    EXPECT_EQ(fakes.terminationSignal.installations, 1);

    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(logMessages(state->debugLog),
              (Lines{"Wake observer geactiveerd",
                     "STARTUP CLEANUP: Lock gevonden - vorige sessie niet correct afgesloten",
                     "RESTORE: Alle hosts entries verwijderd (geen backup)",
                     "STARTUP CLEANUP: Netwerkinstellingen hersteld"}));

    fakes.scheduler.advance(Seconds{0.99});
    EXPECT_TRUE(fakes.modalAlert.shown.empty()) << "the alert waits 1.0 s";
    fakes.scheduler.advance(Seconds{0.01});
    ASSERT_EQ(fakes.modalAlert.shown.size(), 1u);
    const auto& shown = fakes.modalAlert.shown[0];
    EXPECT_DOUBLE_EQ(shown.at, 1.0);
    EXPECT_EQ(shown.content.style, kt::AlertContent::Style::Informational);
    EXPECT_EQ(shown.content.messageText, "Internetinstellingen hersteld");
    EXPECT_EQ(shown.content.informativeText,
              "De vorige sessie van Ridudiziv Ka Tesmar werd niet correct afgesloten. Je "
              "internetinstellingen zijn automatisch hersteld.\n\nAlles werkt nu weer normaal.");
    EXPECT_EQ(shown.content.buttons, (Lines{"OK"}));

    fakes.scheduler.advance(Seconds{10});
    EXPECT_EQ(fakes.modalAlert.shown.size(), 1u) << "shown once";
}

TEST(StartupCleanup, BackupPresentIsRestoredFromTheBackup) {
    const kt::SystemPaths paths = pathsOfANewState();
    kt::testing::TestPorts fakes;
    fakes.files.putFile(paths.lockFile, "active\n");
    fakes.files.putFile(paths.backupPath, "127.0.0.1 localhost\n");

    auto state = AppState::create(fakes.ports());
    fakes.scheduler.runUntilIdle();

    const auto runs = fakes.processes.requests();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].arguments.at(1),
              state->systemProfile().restoreCommand(kt::RestoreVariant::Automatic, true));
    EXPECT_EQ(logMessages(state->debugLog).at(2), "RESTORE: Hosts hersteld vanuit backup");
}

TEST(StartupCleanup, WithoutLockFileNothingRunsNothingIsLoggedNoAlert) {
    const kt::SystemPaths paths = pathsOfANewState();
    kt::testing::TestPorts fakes;
    // A backup alone is no sign of an unfinished run.
    fakes.files.putFile(paths.backupPath, "127.0.0.1 localhost\n");

    auto state = AppState::create(fakes.ports());
    fakes.scheduler.advance(Seconds{5});

    EXPECT_TRUE(fakes.processes.requests().empty());
    EXPECT_EQ(logMessages(state->debugLog), (Lines{"Wake observer geactiveerd"}));
    EXPECT_TRUE(fakes.modalAlert.shown.empty());
}
