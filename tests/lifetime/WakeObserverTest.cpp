#include <gtest/gtest.h>

#include "LogLines.h"
#include "TestPorts.h"
#include "app/AppState.h"

using kt::AppState;
using kt::Seconds;
using kt::testing::logMessages;
using Lines = std::vector<std::string>;

TEST(WakeObserver, RegistersAtConstructionAndLogsOnceTheQueueHasRun) {
    kt::testing::TestPorts fakes;
    auto state = AppState::create(fakes.ports());

    EXPECT_EQ(fakes.wakeNotifications.observers.size(), 1u);
    EXPECT_EQ(state->debugLog.get(), "") << "the log line is added on the main queue";
    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(logMessages(state->debugLog), (Lines{"Wake observer geactiveerd"}));
}

TEST(WakeObserver, WakeWhileLoggedInReconnectsThreeSecondsLater) {
    kt::testing::TestPorts fakes;
    auto state = AppState::create(fakes.ports());
    fakes.scheduler.runUntilIdle();
    state->isLoggedIn = true;
    state->savedStudentName = "Lotte";
    state->savedClassCode = "ABC123";

    fakes.wakeNotifications.wake();
    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(logMessages(state->debugLog),
              (Lines{"Wake observer geactiveerd", "Computer wakker uit slaapstand",
                     "Start reconnect na wake..."}));
    EXPECT_EQ(state->statusMessage.get(), "Verbinding herstellen...");
    EXPECT_TRUE(state->isReconnecting);

    fakes.scheduler.advance(Seconds{2.9});
    EXPECT_EQ(fakes.http.count(), 0u) << "nothing is sent before 3.0 s";
    fakes.scheduler.advance(Seconds{0.1});
    ASSERT_EQ(fakes.http.count(), 1u) << "the new login leaves 3.0 s after the wake";
    EXPECT_NE(fakes.http.last().url.find("class-login.php"), std::string::npos);
}

TEST(WakeObserver, WakeWhileLoggedOutOrWithoutCodeOnlyLogs) {
    kt::testing::TestPorts fakes;
    auto state = AppState::create(fakes.ports());
    fakes.scheduler.runUntilIdle();

    fakes.wakeNotifications.wake();  // logged out
    state->isLoggedIn = true;        // logged in, but no saved class code
    fakes.wakeNotifications.wake();
    fakes.scheduler.advance(Seconds{10});

    EXPECT_EQ(logMessages(state->debugLog),
              (Lines{"Wake observer geactiveerd", "Computer wakker uit slaapstand",
                     "Computer wakker uit slaapstand"}));
    EXPECT_FALSE(state->isReconnecting);
    EXPECT_EQ(fakes.http.count(), 0u);
}

TEST(WakeObserver, WakeAfterTheStateIsGoneDoesNothing) {
    kt::testing::TestPorts fakes;
    auto state = AppState::create(fakes.ports());
    fakes.scheduler.runUntilIdle();
    state.reset();

    fakes.wakeNotifications.wake();
    EXPECT_EQ(fakes.scheduler.pendingTaskCount(), 0u);
}
