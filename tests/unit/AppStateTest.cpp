#include <gtest/gtest.h>

#include "TestPorts.h"
#include "app/AppState.h"

using kt::AppState;

TEST(AppState, StartsWithEveryInitialValue) {
    kt::testing::TestPorts fakes;
    auto state = AppState::create(fakes.ports());

    EXPECT_FALSE(state->isLoggedIn.get());
    EXPECT_FALSE(state->sessionToken.get().has_value());
    EXPECT_EQ(state->studentName.get(), "");
    EXPECT_EQ(state->className.get(), "");
    EXPECT_EQ(state->teacherName.get(), "");
    EXPECT_EQ(state->schoolName.get(), "");
    EXPECT_FALSE(state->isBlocked.get());
    EXPECT_EQ(state->blockedDomainsCount.get(), 0);
    EXPECT_FALSE(state->lastCheck.get().has_value());
    EXPECT_FALSE(state->isLoading.get());
    EXPECT_FALSE(state->errorMessage.get().has_value());
    EXPECT_FALSE(state->statusMessage.get().has_value());
    EXPECT_FALSE(state->isInstalling.get());
    EXPECT_FALSE(state->isActivatingBlocking);
    EXPECT_FALSE(state->isDeactivatingBlocking);
    EXPECT_FALSE(state->hasSuccessfullyActivatedBlocking);
    EXPECT_EQ(state->integrityReconnectAttempts, 0);
    EXPECT_EQ(state->savedStudentName, "");
    EXPECT_EQ(state->savedClassCode, "");
    EXPECT_TRUE(state->detectedServices.get().empty());
    EXPECT_EQ(state->hostsCount.get(), 0);
    EXPECT_EQ(state->firewallCount.get(), 0);
    EXPECT_EQ(state->debugLog.get(), "");
    EXPECT_TRUE(state->blockedDomains.get().empty());
    EXPECT_FALSE(state->pollTimer.has_value());
    EXPECT_TRUE(state->blockIPs.empty());
    EXPECT_TRUE(state->blockRanges.empty());
    EXPECT_FALSE(state->isReconnecting.get());
    EXPECT_EQ(AppState::pollInterval, 5.0);
    EXPECT_EQ(fakes.scheduler.activeRepeatingCount(), 0u) << "no timer runs before a login";
}

TEST(Published, EveryWriteIsAnnouncedUntilTheObserverLeaves) {
    kt::Published<int> value{3};
    int seen = 0;
    const auto id = value.observe([&] { seen = value.get() * 10 + seen % 10 + 1; });
    value = 3;
    EXPECT_EQ(seen, 31) << "an equal value is announced too";
    value = 4;
    EXPECT_EQ(seen, 42);
    value.unobserve(id);
    value = 5;
    EXPECT_EQ(seen, 42);
    EXPECT_EQ(value.get(), 5);
}
