#include <gtest/gtest.h>

#include "SessionFixture.h"

using Activation = kt::testing::SessionFixture;
using Runs = std::vector<std::string>;

TEST_F(Activation, ARunSendsTheListsToTheHelperAndStoresCountersTextsAndLogLinesOrSaysWhy) {
    state->errorMessage = "oud";
    blocking().integrityReconnectAttempts = 2;
    blocking().follow(
        {.blocked = true,
         .domains = {"chatgpt.com", "claude.ai", "example.org", "www.test.nl", "school.be"},
         .ips = {"203.0.113.9"}});
    EXPECT_EQ(shown(), "blocked installing status=Blokkering activeren... error=oud hosts=0");
    settle();
    EXPECT_EQ(privilegedRuns, Runs{"activate"});
    for (const char* listed : {"\"www.test.nl\"", "\"203.0.113.9\""})
        EXPECT_NE(lastActivationRequest.find(listed), std::string::npos) << listed;
    EXPECT_EQ(shown(), "blocked status=Blokkering actief error=- hosts=10");
    EXPECT_FALSE(blocking().isActivatingBlocking);
    EXPECT_TRUE(blocking().hasSuccessfullyActivatedBlocking);
    EXPECT_EQ(blocking().integrityReconnectAttempts, 0);
    const int rules = state->firewallCount.get();
    EXPECT_EQ(logLines().at(0),
              "Blokkering geactiveerd: 10 hosts, " + std::to_string(rules) + " firewall regels");
    // A refused run clears the flags, keeps the counters and says why.
    promptAccepted = false;
    blocking().activateBlocking();
    settle();
    EXPECT_FALSE(blocking().isActivatingBlocking);
    EXPECT_EQ(
        shown(),
        "blocked status=- error=Kon blokkering niet activeren: Geweigerd door polkit hosts=10");
    EXPECT_EQ(state->firewallCount.get(), rules);
}

TEST_F(Activation, RepeatedCallsWhileOneRunsAreSkippedRunsKeepTheirOrderAndAnUndoWins) {
    blocking().activateBlocking();
    blocking().activateBlocking();
    settle();
    EXPECT_TRUE(logged("⚠ Blokkering activatie al bezig, skip"));
    state->hostsCount = 10;
    state->errorMessage = "blijft staan";
    blocking().deactivateBlocking();
    blocking().deactivateBlocking();
    EXPECT_NE(state->statusMessage.get(), "Blokkering uitgeschakeld");
    settle();
    EXPECT_TRUE(logged("WAARSCHUWING: Blokkering deactivatie al bezig, skip"));
    EXPECT_EQ(shown(), "status=Blokkering uitgeschakeld error=blijft staan hosts=0");
    blocking().activateBlocking();
    settle();
    EXPECT_EQ(privilegedRuns, (Runs{"activate", "deactivate", "activate"}));

    // An undo asked for while the rules are prepared (a name to look up on a
    // worker) wins: the activation is never run.
    blocking().follow({.blocked = true, .domains = {"chatgpt.com"}});
    fakes.scheduler.runUntilIdle();
    ASSERT_GT(fakes.workers.pending(), 0u);
    blocking().deactivateBlocking();
    settle();
    EXPECT_EQ(privilegedRuns, (Runs{"activate", "deactivate", "activate", "deactivate"}));
    EXPECT_FALSE(blocking().isActivatingBlocking);
    EXPECT_TRUE(logged("Blokkering activeren overgeslagen: intussen uitgeschakeld"));
    promptAccepted = false;
    promptError = "\xff\xfe";
    blocking().deactivateBlocking();
    settle();
    EXPECT_EQ(logLines()[0], "Fout bij deactiveren: onbekend")
        << "an error text that is not UTF-8 reads 'onbekend'";
    blocking().activateBlocking();
    ASSERT_TRUE(blocking().isActivatingBlocking);
    state.reset();  // a plan for a state that is gone is not installed
    settle();
    EXPECT_EQ(privilegedRuns.size(), 5u);
}

TEST_F(Activation, EachRunTellsTheLoggedInClassWhatTheBlockCameTo) {
    loggedIn("tok-r");
    blocking().follow({.blocked = true, .domains = {"chatgpt.com", "claude.ai", "x.nl"}});
    settle();
    const std::string rules = std::to_string(state->firewallCount.get());
    const kt::HttpRequest sent = fakes.http.request(fakes.http.lastTo("class-report.php"));
    EXPECT_EQ(sent.method + " " + sent.headers.at(0).second, "POST application/json");
    EXPECT_DOUBLE_EQ(sent.timeout.count(), 5.0);
    const std::string refused = R"("state":"failed","error":"Kon blokkering niet )";
    const struct {
        std::string_view run;
        bool accepted;
        std::string body;  // after the token
    } runs[] = {
        {"activate", false,
         refused + R"(activeren: Geweigerd door polkit","hosts":3,"rules":)" + rules},
        {"deactivate", true, R"("state":"free","hosts":0,"rules":0)"},
        {"deactivate", false,
         refused + R"(uitschakelen: Geweigerd door polkit","hosts":0,"rules":0)"},
        {"activate", true, R"("state":"blocked","hosts":3,"rules":)" + rules},
        {"restore", true, R"("state":"free","hosts":0,"rules":0)"},
    };
    std::vector<std::string> expected = {
        R"({"token":"tok-r","state":"blocked","hosts":3,"rules":)" + rules + "}"};
    for (const auto& r : runs) {
        promptAccepted = r.accepted;
        if (r.run == "activate")
            blocking().activateBlocking();
        else if (r.run == "deactivate")
            blocking().deactivateBlocking();
        else
            blocking().manualRestoreNetwork({});
        settle();
        expected.push_back(R"({"token":"tok-r",)" + r.body + "}");
    }
    EXPECT_EQ(bodiesTo("/Vexlo/api/class-report.php"), expected);
    state->isLoggedIn = false;  // the session ended; its token is still held
    blocking().activateBlocking();
    blocking().deactivateBlocking();
    settle();
    EXPECT_EQ(requestsTo("class-report.php"), expected.size()) << "no report outside a session";
}
