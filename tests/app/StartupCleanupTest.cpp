#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "app/AppState.h"
#include "blocking/SystemProfile.h"

using kt::AppState;
using kt::Seconds;
using kt::testing::FakeProcessRunner;
using kt::testing::logMessages;
using Lines = std::vector<std::string>;

TEST(StartupCleanup,
     BlockingLeftBehindIsRestoredBeforeTheWindowAndTheAlertSaysHowItWentElseNothingRuns) {
    const auto& paths = kt::profileNamed("linux")->paths();
    // The file that tells of an earlier run, and the helper's exit status.
    for (const auto& [evidence, helperStatus] :
         {std::pair{paths.lockFile, 0}, {paths.guardianDefinition, 1}, {paths.hostsFile, 0}}) {
        SCOPED_TRACE(evidence);
        kt::testing::TestPorts fakes;
        fakes.files.putFile(evidence, "127.0.0.1 localhost\n# Ka Tesmar Start\n");
        std::size_t wakeObserversDuringRestore = 99;
        int signalInstallationsDuringRestore = 99;
        fakes.processes.setHandler([&](const kt::ProcessRequest&) {
            wakeObserversDuringRestore = fakes.wakeNotifications.observers.size();
            signalInstallationsDuringRestore = fakes.terminationSignal.installations;
            return FakeProcessRunner::exited(helperStatus, "", "Niet hersteld: hosts-bestand\n");
        });
        auto state = AppState::create(fakes.ports());
        const auto runs = fakes.processes.requests();
        ASSERT_EQ(runs.size(), 1u) << "restored inside the construction, before any window";
        EXPECT_EQ(runs[0].arguments.back(), "restore");
        EXPECT_EQ(wakeObserversDuringRestore, 1u) << "the wake observer is registered first";
        EXPECT_EQ(signalInstallationsDuringRestore, 0) << "the signal handler comes last";
        const bool ok = helperStatus == 0;
        fakes.scheduler.advance(Seconds{0.99});
        EXPECT_EQ(logMessages(state->debugLog.get()).at(0),
                  ok ? "STARTUP CLEANUP: Netwerkinstellingen hersteld"
                     : "STARTUP CLEANUP FOUT: Netwerkinstellingen niet hersteld");
        EXPECT_TRUE(fakes.modalAlert.shown.empty()) << "the alert waits 1.0 s";
        fakes.scheduler.advance(Seconds{10});
        ASSERT_EQ(fakes.modalAlert.shown.size(), 1u);
        EXPECT_EQ(fakes.modalAlert.shown[0].messageText,
                  ok ? "Internetinstellingen hersteld" : "Internetinstellingen niet hersteld");
        EXPECT_EQ(fakes.modalAlert.shown[0].style,
                  ok ? kt::AlertContent::Style::Informational : kt::AlertContent::Style::Warning);
    }

    // A backup alone, or a hosts file without our block, is no sign of an unfinished run.
    kt::testing::TestPorts fakes;
    fakes.files.putFile(paths.backupPath, "127.0.0.1 localhost\n");
    fakes.files.putFile(paths.hostsFile, "127.0.0.1 localhost\n");
    auto state = AppState::create(fakes.ports());
    fakes.scheduler.advance(Seconds{5});
    EXPECT_TRUE(fakes.processes.requests().empty());
    EXPECT_EQ(logMessages(state->debugLog.get()), (Lines{"Wake observer geactiveerd"}));
    EXPECT_TRUE(fakes.modalAlert.shown.empty());
}
