// The application's life: the clean-up at start, the quit, the termination signal.
#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "app/AppDelegate.h"
#include "blocking/SystemProfile.h"

using kt::AppDelegate;
using kt::AppState;
using kt::Seconds;
using kt::testing::FakeProcessRunner;
using SignalHandler = kt::testing::SessionFixture;

namespace {

// A logged-in state whose quit the delegate handles; the replies to the
// quit's question with their virtual time.
class AppDelegateTest : public kt::testing::SessionFixture {
  protected:
    AppDelegate delegate;
    std::vector<std::pair<double, bool>> replies;
    void SetUp() override {
        start();
        state->isLoggedIn = true;
        state->sessionToken = std::string("tok-1");
        delegate.appState = state;
    }
    AppDelegate::TerminateReply askToQuit() {
        return delegate.applicationShouldTerminate([this](bool terminate) {
            replies.emplace_back(fakes.scheduler.elapsed().count(), terminate);
        });
    }
};

}  // namespace

TEST(StartupCleanup,
     BlockingLeftBehindIsRestoredBeforeTheWindowAndTheAlertSaysHowItWentElseNothingRuns) {
    const auto& paths = kt::profileNamed("linux")->paths();
    // The file that tells of an earlier run, and the helper's exit status.
    for (const auto& [evidence, helperStatus] :
         {std::pair{paths.lockFile, 0}, {paths.guardianDefinition, 1}, {paths.hostsFile, 0}}) {
        SCOPED_TRACE(evidence);
        kt::testing::TestPorts fakes;
        fakes.files.putFile(evidence, "127.0.0.1 localhost\n# Ka Tesmar Start\n");
        std::pair<std::size_t, int> duringRestore;  // wake observers, signal handlers
        fakes.processes.setHandler([&](const kt::ProcessRequest&) {
            duringRestore = {fakes.wakeNotifications.observers.size(),
                             fakes.terminationSignal.installations};
            return FakeProcessRunner::exited(helperStatus, "", "Niet hersteld: hosts-bestand\n");
        });
        auto state = AppState::create(fakes.ports());
        const auto runs = fakes.processes.requests();
        ASSERT_EQ(runs.size(), 1u) << "restored inside the construction, before any window";
        EXPECT_EQ(runs[0].arguments.back(), "restore");
        EXPECT_EQ(duringRestore, std::pair(std::size_t{1}, 0))
            << "the wake observer is registered first, the signal handler last";
        const bool ok = helperStatus == 0;
        fakes.scheduler.advance(Seconds{0.99});
        EXPECT_EQ(kt::testing::logMessages(state->debugLog.get()).at(0),
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
    // A backup alone, a hosts file without our block or the other system's lock
    // is no sign of an unfinished run.
    kt::testing::TestPorts fakes;
    fakes.files.putFile(paths.backupPath, "127.0.0.1 localhost\n");
    fakes.files.putFile(kt::profileNamed("macos")->paths().lockFile, "active\n");
    fakes.files.putFile(paths.hostsFile, "127.0.0.1 localhost\n");
    auto state = AppState::create(fakes.ports());
    fakes.scheduler.advance(Seconds{5});
    EXPECT_TRUE(fakes.processes.requests().empty());
    EXPECT_EQ(kt::testing::logMessages(state->debugLog.get()),
              std::vector<std::string>{"Wake observer geactiveerd"});
    EXPECT_TRUE(fakes.modalAlert.shown.empty());
}

TEST_F(AppDelegateTest, QuitWhileLoggedInIsHeldTwoSecondsForTheAlertThenRestoresDeletesAndBeeps) {
    EXPECT_EQ(askToQuit(), AppDelegate::TerminateReply::Later);
    fakes.scheduler.advance(Seconds{5});
    EXPECT_EQ(replies, (std::vector<std::pair<double, bool>>{{2.0, true}})) << "held for the alert";
    EXPECT_EQ(fakes.beeper.times.size(), 3u);
    EXPECT_EQ(runs("restore"), 0u) << "nothing is restored before the quit is confirmed";
    // The wait for the service's answers: the restore has run by then, the beep not yet.
    std::pair<std::size_t, std::size_t> restoresAndBeepsWhileDeleting;
    fakes.blockingWait.whileWaiting = [&] {
        restoresAndBeepsWhileDeleting = {runs("restore"), fakes.beeper.times.size()};
        fakes.http.respond(0, 404, "");
        fakes.http.respond(1, 200, R"({"success":true})");
    };
    delegate.applicationWillTerminate();
    EXPECT_EQ(restoresAndBeepsWhileDeleting, std::pair(std::size_t{1}, std::size_t{3}));
    EXPECT_EQ(runs("restore"), 1u);
    ASSERT_EQ(fakes.http.count(), 2u);
    EXPECT_EQ(fakes.http.request(0).url + " " + fakes.http.request(0).body,
              session().apiBaseURL +
                  R"(class-report.php {"token":"tok-1","state":"quit","hosts":0,"rules":0})");
    EXPECT_EQ(fakes.http.request(1).url + " " + fakes.http.request(1).body,
              session().apiBaseURL + R"(class-logout.php {"token":"tok-1"})");
    EXPECT_EQ(fakes.blockingWait.waits, 1) << "one wait for both";
    EXPECT_EQ(fakes.blockingWait.lastResult, true);
    EXPECT_LE(fakes.blockingWait.lastTimeout.value_or(Seconds{99}).count(), 3.0);
    EXPECT_EQ(fakes.beeper.times.size(), 4u) << "one final beep";
}

TEST_F(AppDelegateTest, TheQuitWaitsForTheReportAndTheLogoutAndReportsWhatARefusedRestoreLeft) {
    state->hostsCount = 10;
    state->firewallCount = 40;
    promptAccepted = false;  // the restore fails
    fakes.blockingWait.whileWaiting = [&] { fakes.http.respond(1, 200, "{}"); };
    delegate.applicationWillTerminate();
    ASSERT_EQ(fakes.http.count(), 2u);
    EXPECT_EQ(fakes.http.request(0).body,
              R"({"token":"tok-1","state":"quit","hosts":5,"rules":40})");
    EXPECT_DOUBLE_EQ(fakes.http.request(0).timeout.count(), 3.0);
    EXPECT_EQ(fakes.blockingWait.lastResult, false) << "the report is still awaited";
}

TEST_F(AppDelegateTest, QuitDropsAnActivationStillLookingUpAndNeverBlocksAgain) {
    blocking().follow({.blocked = true, .domains = {"chatgpt.com"}});
    ASSERT_GT(fakes.workers.pending(), 1u) << "the lookups wait for threads";
    fakes.workers.runOldest();
    const auto digs = [this] { return fakes.processes.requests().size() - privilegedRuns.size(); };
    ASSERT_EQ(digs(), 1u);
    EXPECT_EQ(askToQuit(), AppDelegate::TerminateReply::Later);
    EXPECT_FALSE(state->isInstalling.get()) << "dropped at once, not when the lookups end";
    blocking().activateBlocking();  // a status reply during the hold
    fakes.workers.runAll();
    fakes.scheduler.advance(Seconds{2.0});
    ASSERT_EQ(replies.size(), 1u);
    fakes.blockingWait.whileWaiting = [&] { fakes.http.respondLast(200, "{}"); };
    delegate.applicationWillTerminate();
    fakes.workers.runAll();
    fakes.scheduler.advance(Seconds{5});
    EXPECT_EQ(digs(), 1u) << "the queued lookups were skipped";
    EXPECT_EQ(runs("activate"), 0u) << "no activation after the quit began";
    EXPECT_EQ(runs("restore"), 1u);
    EXPECT_TRUE(logged("Blokkering activeren overgeslagen: programma stopt"));
}

TEST_F(SignalHandler, ItsResponseRunsOnlyTheHelpersRestoreAndNoActivationStartsAfterIt) {
    ASSERT_EQ(fakes.terminationSignal.installations, 1);
    state->isLoggedIn = true;
    state->sessionToken = std::string("token");
    // An activation whose privileged run waits for its turn when the signal comes.
    blocking().follow({.blocked = true, .domains = {"chatgpt.com"}});
    for (int i = 0; i < 20 && !logged("DoH/DoT blokkering: 29 regels"); ++i) {
        fakes.workers.runOldest();
        fakes.scheduler.runUntilIdle();
    }
    ASSERT_GT(fakes.workers.pending(), 0u);
    const std::string logBefore = state->debugLog;
    fakes.terminationSignal.response();
    EXPECT_EQ(privilegedRuns, std::vector<std::string>{"restore"});
    // Nothing shared is touched: no log line, no request, no queued work.
    EXPECT_EQ(fakes.scheduler.pendingTaskCount(), 0u);
    EXPECT_EQ(state->debugLog.get(), logBefore);
    EXPECT_EQ(fakes.http.count(), 0u) << "the session on the service stays open";
    settle();
    EXPECT_EQ(runs("activate"), 0u);
    state.reset();
    fakes.processes.setHandler([this](const kt::ProcessRequest& request) {
        privilegedRuns.push_back(request.arguments.back());
        return FakeProcessRunner::notStarted("no");
    });
    fakes.terminationSignal.response();  // must neither crash nor fall back to anything else
    EXPECT_EQ(privilegedRuns, (std::vector<std::string>{"restore", "restore"}));
    EXPECT_EQ(fakes.scheduler.pendingTaskCount(), 0u);
}
