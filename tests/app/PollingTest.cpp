#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "SessionFixture.h"

using kt::Seconds;
using Polling = kt::testing::SessionFixture;

// The poll's rhythm (every 5 s) is held by ReportsTheServiceDoesNotTake... below.
TEST_F(Polling, OneTimerPollsWithTheTokenAndUnusableRepliesOnlyRecordTheCheck) {
    loggedIn("tok en/1");
    const kt::HttpRequest& poll = fakes.http.last();
    EXPECT_EQ(poll.method + " " + poll.url,
              "GET " + session().apiBaseURL + "class-status.php?token=tok%20en/1");
    EXPECT_DOUBLE_EQ(poll.timeout.count(), 60.0);
    session().startPolling();
    for (const std::string body : {"", "not json", "[1,2]", "\"text\"", "{\"a\":"}) {
        fakes.scheduler.advance(Seconds{5});
        statusReply(body, 500);
        EXPECT_EQ(state->lastCheck.get(), fakes.scheduler.now()) << body;
    }
    fakes.scheduler.advance(Seconds{5});
    fakes.http.failLast({"The request timed out.", "QNetworkReply", 4});
    settle();
    EXPECT_EQ(state->lastCheck.get(), fakes.scheduler.now());
    EXPECT_EQ(shown(), "logged-in polling status=- error=- hosts=0");
    EXPECT_EQ(state->debugLog.get(), "") << "nothing is logged for unusable replies";
    // A reply over one mebibyte is ignored with a log line.
    fakes.scheduler.advance(Seconds{5});
    std::string huge = R"({"is_blocked":true,"domains":[)";
    while (huge.size() <= std::size_t{1} << 20) huge += R"("chatgpt.com",)";
    statusReply(huge + R"("claude.ai"]})", 200);
    EXPECT_FALSE(state->isBlocked.get() || !state->blockedDomains.get().empty());
    EXPECT_EQ(state->lastCheck.get(), fakes.scheduler.now());
    EXPECT_TRUE(logged("Statusantwoord te groot (meer dan 1 MiB), genegeerd"))
        << state->debugLog.get();
    const auto sent = requestsTo("class-status.php");
    EXPECT_EQ(sent, 2u + 7u) << "two starts and seven ticks: the second start left one timer";
    session().stopPolling();
    fakes.scheduler.advance(Seconds{60});
    state->sessionToken = std::nullopt;  // without a token the timer ticks, nothing is sent
    session().startPolling();
    fakes.scheduler.advance(Seconds{20});
    EXPECT_EQ(requestsTo("class-status.php"), sent);
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
    const auto reply = [this](const std::string& isBlocked) {
        fakes.scheduler.advance(Seconds{5});
        statusReply(R"({"success":true,"is_blocked":)" + isBlocked +
                    R"(,"domains":["chatgpt.com"]})");
    };
    loggedIn();
    reply("true");
    EXPECT_EQ(shown(), "logged-in blocked polling status=Blokkering actief error=- hosts=2")
        << "two hosts per blocked name";
    EXPECT_TRUE(logged("Status: GEBLOKKEERD"));
    EXPECT_EQ(runs("activate"), 1u);
    reply("true");
    EXPECT_EQ(runs("activate"), 1u) << "an unchanged state starts no second activation";
    // The watchdog runs on such a reply: with the counters gone it repairs.
    state->hostsCount = 0;
    reply("1");
    EXPECT_EQ(blocking().integrityReconnectAttempts, 1);
    // Anything but a true is_blocked switches off.
    reply("\"yes\"");
    EXPECT_EQ(shown(),
              "logged-in reconnecting polling status=Blokkering uitgeschakeld error=- hosts=0");
    EXPECT_TRUE(logged("Status: VRIJGEGEVEN"));
    EXPECT_EQ(runs("deactivate"), 1u);
}

TEST_F(Polling, SessionRefusedByTheServiceEndsTheLoginAndUndoesTheBlock) {
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

TEST_F(Polling, ReportsTheServiceDoesNotTakeLeaveThePollsAloneAndAreLoggedOnce) {
    const std::string blocked = R"({"success":true,"is_blocked":true,"domains":["claude.ai"]})";
    loggedIn();
    statusReply(blocked);
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
    EXPECT_EQ(requestsTo("class-status.php"), 1u);
    for (std::size_t tick = 2; tick <= 4; ++tick) {
        fakes.scheduler.advance(Seconds{tick == 2 ? 0.1 : 5.0});
        EXPECT_EQ(requestsTo("class-status.php"), tick) << "a poll every 5 s, as before";
        statusReply(blocked);
    }
    std::vector<std::string> refused;
    std::ranges::copy_if(logLines(), std::back_inserter(refused),
                         [](const auto& line) { return line.starts_with("Klasrapport niet"); });
    EXPECT_EQ(refused, std::vector<std::string>{
                           "Klasrapport niet aangenomen: HTTP 404 (verder niet gemeld)"});
}
