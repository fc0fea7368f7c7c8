#include <gtest/gtest.h>

#include "SessionFixture.h"

using Activation = kt::testing::SessionFixture;

TEST_F(Activation, ARunSendsTheListsToTheHelperAndStoresCountersTextsAndLogLinesOrSaysWhy) {
    state->errorMessage = "oud";
    blocking().integrityReconnectAttempts = 2;
    blocking().follow(
        {.blocked = true,
         .domains = {"chatgpt.com", "claude.ai", "example.org", "www.test.nl", "school.be"},
         .ips = {"203.0.113.9"}});
    EXPECT_EQ(shown(), "blocked installing status=Blokkering activeren... error=oud hosts=0");

    settle();
    EXPECT_EQ(privilegedRuns, std::vector<std::string>{"activate"});
    EXPECT_NE(lastActivationRequest.find("\"www.test.nl\""), std::string::npos);
    EXPECT_NE(lastActivationRequest.find("\"203.0.113.9\""), std::string::npos);
    EXPECT_EQ(shown(), "blocked status=Blokkering actief error=- hosts=10");
    EXPECT_FALSE(blocking().isActivatingBlocking);
    EXPECT_TRUE(blocking().hasSuccessfullyActivatedBlocking);
    EXPECT_EQ(blocking().integrityReconnectAttempts, 0);
    EXPECT_EQ(logLines().at(0), "Blokkering geactiveerd: 10 hosts, " +
                                    std::to_string(state->firewallCount.get()) +
                                    " firewall regels");

    // A refused run clears the flags, keeps the counters and says why.
    const int rules = state->firewallCount.get();
    promptAccepted = false;
    blocking().activateBlocking();
    settle();
    EXPECT_FALSE(blocking().isActivatingBlocking);
    EXPECT_EQ(
        shown(),
        "blocked status=- error=Kon blokkering niet activeren: Geweigerd door polkit hosts=10");
    EXPECT_EQ(state->firewallCount.get(), rules);
}

TEST_F(Activation, RepeatedCallsWhileOneRunsAreSkippedAndRunsKeepTheirOrder) {
    blocking().activateBlocking();
    blocking().activateBlocking();
    settle();
    EXPECT_TRUE(logged("⚠ Blokkering activatie al bezig, skip"));
    state->hostsCount = 10;
    state->errorMessage = "blijft staan";
    blocking().deactivateBlocking();
    blocking().deactivateBlocking();
    EXPECT_FALSE(state->statusMessage.get() == "Blokkering uitgeschakeld");
    settle();
    EXPECT_TRUE(logged("WAARSCHUWING: Blokkering deactivatie al bezig, skip"));
    EXPECT_EQ(shown(), "status=Blokkering uitgeschakeld error=blijft staan hosts=0");
    blocking().activateBlocking();
    settle();
    EXPECT_EQ(privilegedRuns, (std::vector<std::string>{"activate", "deactivate", "activate"}));

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
    EXPECT_EQ(privilegedRuns.size(), 4u);
}

TEST_F(Activation, AnUndoAskedForWhileTheRulesArePreparedWins) {
    // A name to look up: a worker is needed.
    blocking().follow({.blocked = true, .domains = {"chatgpt.com"}});
    fakes.scheduler.runUntilIdle();
    ASSERT_GT(fakes.workers.pending(), 0u);
    blocking().deactivateBlocking();  // the teacher switched off before the run
    settle();
    EXPECT_EQ(privilegedRuns, std::vector<std::string>{"deactivate"});
    EXPECT_FALSE(blocking().isActivatingBlocking);
    EXPECT_TRUE(logged("Blokkering activeren overgeslagen: intussen uitgeschakeld"));
}

TEST_F(Activation, EachRunTellsTheLoggedInClassWhatTheBlockCameTo) {
    loggedIn("tok-r");
    blocking().follow({.blocked = true, .domains = {"chatgpt.com", "claude.ai", "x.nl"}});
    settle();
    const std::string rules = std::to_string(state->firewallCount.get());
    const kt::HttpRequest sent = fakes.http.request(fakes.http.lastTo("class-report.php"));
    EXPECT_EQ(sent.method + " " + sent.headers.at(0).second, "POST application/json");
    EXPECT_DOUBLE_EQ(sent.timeout.count(), 5.0);

    const std::string refused =
        R"("error":"Kon blokkering niet activeren: Geweigerd door polkit",)";
    const std::string refusedUndo =
        R"("error":"Kon blokkering niet uitschakelen: Geweigerd door polkit",)";
    const struct {
        std::string_view run;
        bool accepted;
        std::string body;  // after the token
    } runs[] = {
        {"activate", false, R"("state":"failed",)" + refused + R"("hosts":3,"rules":)" + rules},
        {"deactivate", true, R"("state":"free","hosts":0,"rules":0)"},
        {"deactivate", false, R"("state":"failed",)" + refusedUndo + R"("hosts":0,"rules":0)"},
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
