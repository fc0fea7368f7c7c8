#include <gtest/gtest.h>

#include "SessionFixture.h"

using SignalHandler = kt::testing::SessionFixture;

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
        return kt::testing::FakeProcessRunner::notStarted("no");
    });
    fakes.terminationSignal.response();  // must neither crash nor fall back to anything else
    EXPECT_EQ(privilegedRuns, (std::vector<std::string>{"restore", "restore"}));
    EXPECT_EQ(fakes.scheduler.pendingTaskCount(), 0u);
}
