#include <gtest/gtest.h>

#include "LogMessages.h"
#include "TestPorts.h"
#include "app/AppState.h"

using kt::AppState;

namespace {

std::size_t helperRuns(const kt::testing::TestPorts& fakes, const std::string& verb) {
    std::size_t n = 0;
    for (const auto& run : fakes.processes.requests())
        n += run.program == "/usr/bin/pkexec" && run.arguments.back() == verb;
    return n;
}

}  // namespace

TEST(SignalHandler, ItsResponseRunsOnlyTheHelpersRestoreAndNoActivationStartsAfterIt) {
    kt::testing::TestPorts fakes;
    auto state = AppState::create(fakes.ports());
    ASSERT_EQ(fakes.terminationSignal.installations, 1);
    state->isLoggedIn = true;
    state->sessionToken = std::string("token");
    // An activation whose privileged run waits for its turn when the signal comes.
    state->blockedDomains = {"chatgpt.com"};
    state->activateBlocking();
    for (int i = 0;
         i < 20 && !kt::testing::logHas(state->debugLog.get(), "DoH/DoT blokkering: 29 regels");
         ++i) {
        fakes.workers.runOldest();
        fakes.scheduler.runUntilIdle();
    }
    ASSERT_GT(fakes.workers.pending(), 0u);
    const std::string logBefore = state->debugLog;

    fakes.terminationSignal.response();
    EXPECT_EQ(helperRuns(fakes, "restore"), 1u);
    // Nothing shared is touched: no log line, no request, no queued work.
    EXPECT_EQ(fakes.scheduler.pendingTaskCount(), 0u);
    EXPECT_EQ(state->debugLog.get(), logBefore);
    EXPECT_EQ(fakes.http.count(), 0u) << "the session on the service stays open";
    fakes.settle();
    EXPECT_EQ(helperRuns(fakes, "activate"), 0u);

    state.reset();
    fakes.processes.setHandler(
        [](const kt::ProcessRequest&) { return kt::testing::FakeProcessRunner::notStarted("no"); });
    fakes.terminationSignal.response();  // must neither crash nor fall back to anything else
    EXPECT_EQ(helperRuns(fakes, "restore"), 2u);
    EXPECT_EQ(fakes.scheduler.pendingTaskCount(), 0u);
}
