#include <gtest/gtest.h>

#include "TestPorts.h"
#include "app/AppState.h"
#include "app/SignalRestore.h"
#include "blocking/SystemProfile.h"

using kt::AppState;

TEST(SignalHandler, InstalledOnceAndItsResponseRunsOnlyTheSignalCommand) {
    kt::testing::TestPorts fakes;
    auto state = AppState::create(fakes.ports());
    fakes.scheduler.runUntilIdle();
    ASSERT_EQ(fakes.terminationSignal.installations, 1);
    ASSERT_TRUE(fakes.terminationSignal.response);
    const std::string logBefore = state->debugLog;
    state->isLoggedIn = true;
    state->sessionToken = std::string("token");

    fakes.terminationSignal.response();

    const auto runs = fakes.processes.requests();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].program, "/bin/sh");
    EXPECT_EQ(runs[0].arguments,
              (std::vector<std::string>{
                  "-c", state->systemProfile().restoreCommand(kt::RestoreVariant::Signal, false)}));
    // Nothing shared is touched: no log line, no request, no queued work.
    EXPECT_EQ(fakes.scheduler.pendingTaskCount(), 0u);
    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(state->debugLog.get(), logBefore);
    EXPECT_EQ(fakes.http.count(), 0u) << "the session on the service stays open";
    EXPECT_TRUE(state->isLoggedIn);
}

TEST(SignalHandler, ResponseWorksAfterTheStateIsGoneAndIgnoresAShellThatWillNotStart) {
    kt::testing::TestPorts fakes;
    auto state = AppState::create(fakes.ports());
    fakes.scheduler.runUntilIdle();
    state.reset();
    fakes.processes.setHandler([](const kt::ProcessRequest&) {
        return kt::testing::FakeProcessRunner::notStarted("no sh");
    });

    fakes.terminationSignal.response();  // must neither crash nor fall back to anything else

    EXPECT_EQ(fakes.processes.requests().size(), 1u);
    EXPECT_EQ(fakes.scheduler.pendingTaskCount(), 0u);
}
