#include <gtest/gtest.h>

#include "SessionFixture.h"

using kt::Seconds;
using Logout = kt::testing::SessionFixture;

TEST_F(Logout, ClearsTheSessionAtOnceDeletesItAtTheServiceUndoesTheBlockAndKeepsTheRest) {
    loggedIn("tok-7");
    statusReply(R"({"success":true,"is_blocked":true,"domains":["claude.ai","chatgpt.com"],
        "ips":["198.51.100.7"],"ip_ranges":[{"start":"a","end":"b"}],
        "class_info":{"class_name":"5A","teacher_name":"Dhr. Maes"}})");
    state->schoolName = "Atheneum";
    state->errorMessage = "oude fout";
    const auto lastCheck = state->lastCheck.get();
    const auto requestsBefore = fakes.http.count();
    state->logout();  // nothing waits for the undo or the service
    EXPECT_EQ(shown(), "status=Blokkering actief error=oude fout hosts=4");
    EXPECT_FALSE(state->sessionToken.get());
    EXPECT_EQ(state->studentName.get() + state->className.get() + state->teacherName.get() +
                  state->schoolName.get(),
              "");
    EXPECT_TRUE(state->blockedDomains.get().empty() && session().blockIPs.empty() &&
                session().blockRanges.empty() && state->detectedServices.get().empty());
    EXPECT_EQ(session().savedStudentName + "|" + session().savedClassCode, "Jan Jansen|ABC123");
    EXPECT_EQ(state->lastCheck.get(), lastCheck);
    ASSERT_EQ(fakes.http.count(), requestsBefore + 1);
    const auto deletion = fakes.http.last();
    EXPECT_EQ(deletion.method + " " + deletion.url + " " + deletion.body,
              "POST " + session().apiBaseURL + R"(class-logout.php {"token":"tok-7"})");
    EXPECT_DOUBLE_EQ(deletion.timeout.count(), 5.0);
    settle();
    EXPECT_EQ(privilegedRuns, (std::vector<std::string>{"activate", "deactivate"}));
    EXPECT_EQ(state->hostsCount.get(), 0);
    fakes.scheduler.advance(Seconds{2});
    EXPECT_EQ(fakes.beeper.times.size(), 3u) << "the alert sounded";
    fakes.http.failLast({"offline", "QNetworkReply", 99});
    settle();
    EXPECT_FALSE(logged("offline")) << "the deletion's outcome leaves no trace";

    // Without a token no deletion is sent, but the undo still runs.
    state->isLoggedIn = true;
    const auto sent = fakes.http.count();
    state->logout();
    settle();
    EXPECT_EQ(fakes.http.count(), sent);
    EXPECT_EQ(runs("deactivate"), 2u);
}
