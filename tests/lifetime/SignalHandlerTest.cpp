#include <gtest/gtest.h>

#include "TestPorts.h"
#include "app/AppState.h"

using kt::AppState;

TEST(SignalHandler, InstalledOnceItsResponseRunsOnlyTheHelpersRestoreAlsoWhenTheStateIsGone) {
    kt::testing::TestPorts fakes;
    auto state = AppState::create(fakes.ports());
    fakes.scheduler.runUntilIdle();
    ASSERT_EQ(fakes.terminationSignal.installations, 1);
    const std::string logBefore = state->debugLog;
    state->isLoggedIn = true;
    state->sessionToken = std::string("token");

    fakes.terminationSignal.response();
    auto runs = fakes.processes.requests();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].program, "/usr/bin/pkexec");
    EXPECT_EQ(runs[0].arguments.back(), "restore");
    // Nothing shared is touched: no log line, no request, no queued work.
    EXPECT_EQ(fakes.scheduler.pendingTaskCount(), 0u);
    EXPECT_EQ(state->debugLog.get(), logBefore);
    EXPECT_EQ(fakes.http.count(), 0u) << "the session on the service stays open";

    state.reset();
    fakes.processes.setHandler(
        [](const kt::ProcessRequest&) { return kt::testing::FakeProcessRunner::notStarted("no"); });
    fakes.terminationSignal.response();  // must neither crash nor fall back to anything else
    EXPECT_EQ(fakes.processes.requests().size(), 2u);
    EXPECT_EQ(fakes.scheduler.pendingTaskCount(), 0u);
}
