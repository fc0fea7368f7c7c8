#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "SessionFixture.h"

using kt::Seconds;
using Logout = kt::testing::SessionFixture;

TEST_F(Logout, ClearsTheSessionAtOnceAndLeavesTheRestAlone) {
    loggedIn("tok-7");
    statusReply(R"({"success":true,"is_blocked":true,"domains":["claude.ai","chatgpt.com"],
        "ips":["198.51.100.7"],"ip_ranges":[{"start":"a","end":"b"}],
        "class_info":{"class_name":"5A","teacher_name":"Dhr. Maes"}})");
    state->schoolName = "Atheneum";
    state->errorMessage = "oude fout";
    const auto lastCheck = state->lastCheck.get();
    const auto requestsBefore = fakes.http.count();
    const auto scriptsBefore = privilegedRuns.size();

    state->logout();
    // Nothing waits for the undo script or the service.
    EXPECT_FALSE(state->isLoggedIn.get() || state->sessionToken.get() || state->isBlocked.get() ||
                 session().pollTimer);
    EXPECT_EQ(state->studentName.get() + state->className.get() + state->teacherName.get() +
                  state->schoolName.get(),
              "");
    EXPECT_TRUE(state->blockedDomains.get().empty() && session().blockIPs.empty() &&
                session().blockRanges.empty() && state->detectedServices.get().empty());
    EXPECT_TRUE(blocking().isDeactivatingBlocking) << "the undo was started";

    // Untouched by logout.
    EXPECT_EQ(session().savedStudentName, "Jan Jansen");
    EXPECT_EQ(session().savedClassCode, "ABC123");
    EXPECT_EQ(state->blockedDomainsCount.get(), 2);
    EXPECT_EQ(state->lastCheck.get(), lastCheck);
    EXPECT_EQ(state->errorMessage.get(), "oude fout");
    EXPECT_TRUE(blocking().hasSuccessfullyActivatedBlocking);

    // The deletion request carries the token that was current.
    ASSERT_EQ(fakes.http.count(), requestsBefore + 1);
    const auto deletion = fakes.http.last();
    EXPECT_EQ(deletion.method, "POST");
    EXPECT_NE(deletion.url.find("class-logout.php"), std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(deletion.body), nlohmann::json({{"token", "tok-7"}}));
    EXPECT_DOUBLE_EQ(deletion.timeout.count(), 5.0);

    settle();
    EXPECT_EQ(privilegedRuns.size(), scriptsBefore + 1);
    EXPECT_EQ(privilegedRuns.back(), "deactivate");
    EXPECT_EQ(state->hostsCount.get(), 0);
    fakes.scheduler.advance(Seconds{2});
    EXPECT_EQ(fakes.beeper.times.size(), 3u) << "the alert sounded";
    fakes.http.failLast({"offline", "QNetworkReply", 99});
    settle();
    EXPECT_FALSE(logged("offline")) << "the deletion's outcome leaves no trace";
}

TEST_F(Logout, WithoutATokenNoDeletionIsSentButTheUndoStillRuns) {
    state->isLoggedIn = true;
    state->logout();
    settle();
    EXPECT_EQ(fakes.http.count(), 0u);
    EXPECT_EQ(privilegedRuns.size(), 1u);
    EXPECT_FALSE(state->isLoggedIn.get());
}

TEST_F(Logout, SynchronousDeletionWaitsAtMostThreeSeconds) {
    state->sessionToken = "tok-q";
    // The service answers while the quit waits.
    fakes.blockingWait.whileWaiting = [&] { fakes.http.respondLast(200, R"({"success":true})"); };
    session().deleteSessionOnServerSync();
    EXPECT_EQ(fakes.blockingWait.waits, 1);
    ASSERT_TRUE(fakes.blockingWait.lastTimeout.has_value());
    EXPECT_DOUBLE_EQ(fakes.blockingWait.lastTimeout->count(), 3.0);
    EXPECT_DOUBLE_EQ(fakes.http.last().timeout.count(), 3.0);
    EXPECT_EQ(nlohmann::json::parse(fakes.http.last().body), nlohmann::json({{"token", "tok-q"}}));
    EXPECT_EQ(state->sessionToken.get(), "tok-q") << "no state changes; the quit follows";

    // An unreachable service: the wait ends by time; a late answer is harmless.
    fakes.blockingWait.whileWaiting = nullptr;
    session().deleteSessionOnServerSync();
    EXPECT_EQ(fakes.blockingWait.waits, 2);
    fakes.http.failLast({"timed out", "QNetworkReply", 4});

    state->sessionToken = std::nullopt;
    const auto sent = fakes.http.count();
    session().deleteSessionOnServerSync();
    EXPECT_EQ(fakes.http.count(), sent);
    EXPECT_EQ(fakes.blockingWait.waits, 2) << "no token: no request and no wait";
}
