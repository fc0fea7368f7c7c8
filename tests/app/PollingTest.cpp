#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "SessionFixture.h"
#include "session/ServiceUrls.h"

using kt::Seconds;

namespace {

class Polling : public kt::testing::SessionFixture {
  protected:
    std::size_t statusRequests() const { return requestsTo("class-status.php"); }
};

}  // namespace

// The poll's rhythm (every 5 s) is held by ReportsTheServiceDoesNotTake... below.
TEST_F(Polling, OneTimerPollsWithTheTokenAndUnusableRepliesOnlyRecordTheCheck) {
    loggedIn("tok en/1");
    EXPECT_EQ(fakes.http.last().method + " " + fakes.http.last().url,
              "GET " + *kt::statusUrl(session().apiBaseURL, "tok en/1"));
    EXPECT_DOUBLE_EQ(fakes.http.last().timeout.count(), 60.0);
    session().startPolling();
    EXPECT_EQ(fakes.scheduler.activeRepeatingCount(), 1u) << "a second start leaves one timer";

    for (const std::string body : {"", "not json", "[1,2]", "\"text\"", "{\"a\":"}) {
        fakes.scheduler.advance(Seconds{5});
        statusReply(body, 500);
        EXPECT_EQ(state->lastCheck.get(), fakes.scheduler.now()) << body;
    }
    fakes.scheduler.advance(Seconds{5});
    fakes.http.failLast({"The request timed out.", "QNetworkReply", 4});
    settle();
    EXPECT_EQ(state->lastCheck.get(), fakes.scheduler.now());
    EXPECT_TRUE(state->isLoggedIn.get());
    EXPECT_EQ(state->debugLog.get(), "") << "nothing is logged for unusable replies";
    EXPECT_FALSE(state->errorMessage.get().has_value());

    const auto sent = statusRequests();
    session().stopPolling();
    fakes.scheduler.advance(Seconds{60});
    state->sessionToken = std::nullopt;  // without a token the timer ticks, nothing is sent
    session().startPolling();
    fakes.scheduler.advance(Seconds{20});
    EXPECT_EQ(statusRequests(), sent);
}

TEST_F(Polling, AReplyOverOneMebibyteIsIgnoredWithALogLine) {
    loggedIn();
    EXPECT_EQ(fakes.http.last().maxBodyBytes, std::size_t{1} << 20);
    std::string huge = R"({"is_blocked":true,"domains":[)";
    while (huge.size() <= std::size_t{1} << 20) huge += R"("chatgpt.com",)";
    statusReply(huge + R"("claude.ai"]})", 200);
    EXPECT_FALSE(state->isBlocked.get() || !state->blockedDomains.get().empty());
    EXPECT_EQ(state->lastCheck.get(), fakes.scheduler.now());
    EXPECT_TRUE(logged("Statusantwoord te groot (meer dan 1 MiB), genegeerd"))
        << state->debugLog.get();
}

TEST_F(Polling, ListsAndNamesAreReplacedAndOnlyAChangedCountIsLogged) {
    // Names, services, addresses, ranges, class and teacher.
    const auto lists = [this] {
        return nlohmann::json{state->blockedDomains.get(), state->detectedServices.get(),
                              session().blockIPs,          session().blockRanges,
                              state->className.get(),      state->teacherName.get()}
            .dump();
    };
    loggedIn();
    statusReply(R"({"success":true,"is_blocked":false,"domains":["chatgpt.com","claude.ai"],
        "ips":["203.0.113.5"],"ip_ranges":[{"start":"10.0.0.1","end":"10.0.0.9"},{"start":"x"}],
        "class_info":{"class_name":"5A","teacher_name":"Mevr. Peeters","school_name":"ignored"}})");
    EXPECT_EQ(lists(), R"([["chatgpt.com","claude.ai"],["ChatGPT","Claude"],["203.0.113.5"],)"
                       R"([["10.0.0.1","10.0.0.9"]],"5A","Mevr. Peeters"])");
    EXPECT_EQ(state->blockedDomainsCount.get(), 2);
    EXPECT_TRUE(logged("API: 2 domeinen ontvangen"));

    state->debugLog = "";
    fakes.scheduler.advance(Seconds{5});
    statusReply(R"({"success":true,"domains":["deepseek.com","perplexity.ai"],"ips":[1,2],
        "class_info":{"class_name":7}})");
    EXPECT_EQ(lists(), R"([["deepseek.com","perplexity.ai"],["DeepSeek","Perplexity"],)"
                       R"(["203.0.113.5"],[["10.0.0.1","10.0.0.9"]],"5A","Mevr. Peeters"])")
        << "a list with a non-string and a class name that is no text keep the old";
    EXPECT_EQ(state->debugLog.get(), "") << "the same number of names is not logged";

    fakes.scheduler.advance(Seconds{5});
    statusReply(R"({"success":true,"domains":[]})");
    EXPECT_TRUE(logged("API: 0 domeinen ontvangen"));
    EXPECT_EQ(state->detectedServices.get(), std::vector<std::string>{"AI Services"});
}

TEST_F(Polling, BlockedReplyActivatesOnceThenRunsTheWatchdog) {
    loggedIn();
    statusReply(R"({"success":true,"is_blocked":true,"domains":["chatgpt.com"]})");
    EXPECT_EQ(shown(), "logged-in blocked polling status=Blokkering actief error=- hosts=2")
        << "two hosts per blocked name";
    EXPECT_TRUE(logged("Status: GEBLOKKEERD"));
    EXPECT_EQ(runs("activate"), 1u);
    EXPECT_TRUE(blocking().hasSuccessfullyActivatedBlocking);

    fakes.scheduler.advance(Seconds{5});
    statusReply(R"({"success":true,"is_blocked":true,"domains":["chatgpt.com"]})");
    EXPECT_EQ(runs("activate"), 1u) << "an unchanged state starts no second activation";
    blocking().isActivatingBlocking = true;
    state->isBlocked = false;
    fakes.scheduler.advance(Seconds{5});
    statusReply(R"({"success":true,"is_blocked":true,"domains":["chatgpt.com"]})");
    EXPECT_EQ(runs("activate"), 1u) << "none while one runs";
    blocking().isActivatingBlocking = false;

    // The watchdog runs on such a reply: with the counters gone it repairs.
    state->hostsCount = 0;
    fakes.scheduler.advance(Seconds{5});
    statusReply(R"({"success":true,"is_blocked":1,"domains":["chatgpt.com"]})");
    EXPECT_EQ(blocking().integrityReconnectAttempts, 1);

    // Anything but a true is_blocked switches off.
    fakes.scheduler.advance(Seconds{5});
    statusReply(R"({"success":true,"is_blocked":"yes","domains":["chatgpt.com"]})");
    EXPECT_EQ(shown(),
              "logged-in reconnecting polling status=Blokkering uitgeschakeld error=- hosts=0");
    EXPECT_TRUE(logged("Status: VRIJGEGEVEN"));
    EXPECT_EQ(runs("deactivate"), 1u);
}

TEST_F(Polling, SessionRefusedByTheServiceEndsTheLogin) {
    loggedIn("tok-9");
    statusReply(R"({"success":false,"is_blocked":true,"domains":["a.com"]})");
    EXPECT_EQ(shown(),
              "status=Blokkering uitgeschakeld error=Sessie verlopen. Voer je klascode opnieuw in. "
              "hosts=0");
    EXPECT_EQ(runs("deactivate"), 1u) << "deactivation runs even when nothing was blocked";
    EXPECT_EQ(*state->sessionToken.get() + " " + state->studentName.get(), "tok-9 Jan Jansen")
        << "the token and names stay";
    EXPECT_TRUE(state->blockedDomains.get().empty()) << "the lists of that reply are not read";
    const auto sent = fakes.http.count();
    fakes.scheduler.advance(Seconds{30});
    EXPECT_EQ(fakes.http.count(), sent);
}

TEST_F(Polling, ReplyToARequestSentBeforeLogoutIsDropped) {
    loggedIn();
    const std::size_t pending = fakes.http.count() - 1;
    state->logout();
    settle();
    const auto scriptsAfterLogout = privilegedRuns.size();
    fakes.http.respond(pending, 200, R"({"success":true,"is_blocked":true,"domains":["x.ai"]})");
    settle();
    EXPECT_FALSE(state->isBlocked.get());
    EXPECT_TRUE(state->blockedDomains.get().empty());
    EXPECT_FALSE(state->lastCheck.get().has_value());
    EXPECT_EQ(privilegedRuns.size(), scriptsAfterLogout) << "no activation for a student who left";
}

TEST_F(Polling, ReportsTheServiceDoesNotTakeLeaveThePollsAloneAndAreLoggedOnce) {
    loggedIn();
    statusReply(R"({"success":true,"is_blocked":true,"domains":["claude.ai"]})");
    ASSERT_EQ(requestsTo("class-report.php"), 1u);
    fakes.http.respond(fakes.http.lastTo("class-report.php"), 404, "<h1>Not Found</h1>");
    blocking().deactivateBlocking();
    settle();
    fakes.http.fail(fakes.http.lastTo("class-report.php"),
                    {"Connection refused", "QNetworkReply", 1});
    blocking().activateBlocking();  // this report is never answered
    settle();
    ASSERT_EQ(requestsTo("class-report.php"), 3u);

    fakes.scheduler.advance(Seconds{4.9});
    EXPECT_EQ(statusRequests(), 1u);
    for (std::size_t tick = 2; tick <= 4; ++tick) {
        fakes.scheduler.advance(Seconds{tick == 2 ? 0.1 : 5.0});
        EXPECT_EQ(statusRequests(), tick) << "a poll every 5 s, as before";
        statusReply(R"({"success":true,"is_blocked":true,"domains":["claude.ai"]})");
    }
    std::size_t troubleLines = 0;
    for (const auto& line : logLines())
        troubleLines += line.starts_with("Klasrapport niet aangenomen");
    EXPECT_EQ(troubleLines, 1u);
    EXPECT_TRUE(logged("Klasrapport niet aangenomen: HTTP 404 (verder niet gemeld)"));
}
