#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "blocking/SystemProfile.h"

using kt::testing::FakeProcessRunner;
using Activation = kt::testing::SessionFixture;
using NetworkRestore = kt::testing::SessionFixture;
using Runs = std::vector<std::string>;

TEST_F(Activation, ARunSendsTheListsToTheHelperShowsAndLogsWhatItCameToAndTellsTheClass) {
    loggedIn("tok-r");
    state->errorMessage = "oud";
    blocking().integrityReconnectAttempts = 2;
    blocking().follow(
        {.blocked = true,
         .domains = {"chatgpt.com", "claude.ai", "example.org", "www.test.nl", "school.be"},
         .ips = {"203.0.113.9"}});
    EXPECT_EQ(
        shown(),
        "logged-in blocked installing polling status=Blokkering activeren... error=oud hosts=0");
    settle();
    EXPECT_EQ(privilegedRuns, Runs{"activate"});
    for (const char* listed : {"\"www.test.nl\"", "\"203.0.113.9\""})
        EXPECT_NE(lastActivationRequest.find(listed), std::string::npos) << listed;
    // On Linux no shell text runs; the pupil's own browsers are closed as the pupil.
    const auto ran = [this](const std::string& program, const Runs& arguments) {
        return std::ranges::any_of(fakes.processes.requests(), [&](const auto& request) {
            return request.program == program &&
                   (arguments.empty() || request.arguments == arguments);
        });
    };
    EXPECT_FALSE(ran("/bin/sh", {}));
    EXPECT_TRUE(ran("/usr/bin/pkill", {"-x", "-U", "1000", "firefox"}));
    EXPECT_EQ(shown(), "logged-in blocked polling status=Blokkering actief error=- hosts=10");
    EXPECT_EQ(blocking().integrityReconnectAttempts, 0) << "an intact block ends the repairs";
    const std::string rules = std::to_string(state->firewallCount.get());
    EXPECT_EQ(logLines().at(0), "Blokkering geactiveerd: 10 hosts, " + rules + " firewall regels");
    const kt::HttpRequest sent = fakes.http.request(fakes.http.lastTo("class-report.php"));
    EXPECT_EQ(sent.method + " " + sent.headers.at(0).second, "POST application/json");
    EXPECT_DOUBLE_EQ(sent.timeout.count(), 5.0);
    // A refused run clears the status, keeps the counters and says why.
    promptAccepted = false;
    blocking().activateBlocking();
    settle();
    EXPECT_EQ(shown(),
              "logged-in blocked polling status=- error=Kon blokkering niet activeren: Geweigerd "
              "door polkit hosts=10");
    // Every run tells the class what the block came to (the body after the token).
    const std::string refused = R"("state":"failed","error":"Kon blokkering niet )";
    std::vector<std::string> expected = {
        R"("state":"blocked","hosts":5,"rules":)" + rules,
        refused + R"(activeren: Geweigerd door polkit","hosts":5,"rules":)" + rules};
    const std::tuple<std::string_view, bool, std::string> runs[] = {
        {"deactivate", true, R"("state":"free","hosts":0,"rules":0)"},
        {"deactivate", false,
         refused + R"(uitschakelen: Geweigerd door polkit","hosts":0,"rules":0)"},
        {"activate", true, R"("state":"blocked","hosts":5,"rules":)" + rules},
        {"restore", true, R"("state":"free","hosts":0,"rules":0)"}};
    for (const auto& [run, accepted, body] : runs) {
        promptAccepted = accepted;
        if (run == "activate")
            blocking().activateBlocking();
        else if (run == "deactivate")
            blocking().deactivateBlocking();
        else
            blocking().manualRestoreNetwork({});
        settle();
        expected.push_back(body);
    }
    for (auto& body : expected) body = R"({"token":"tok-r",)" + body + "}";
    EXPECT_EQ(bodiesTo("/Vexlo/api/class-report.php"), expected);
    state->isLoggedIn = false;  // the session ended; its token is still held
    blocking().activateBlocking();
    blocking().deactivateBlocking();
    settle();
    EXPECT_EQ(requestsTo("class-report.php"), expected.size()) << "no report outside a session";
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

TEST_F(NetworkRestore, MacosShellRestoresWithOrWithoutBackupAndTheAdminShellIsTheLastResort) {
    fakes.macos();
    start();
    const auto& profile = blocking().systemProfile();
    fakes.files.putFile(profile.paths().backupPath, "127.0.0.1 localhost\n");
    blocking().forceRestoreNetworkSettings();
    fakes.files.removeTree(profile.paths().backupPath);
    blocking().forceRestoreNetworkSettings();
    std::vector<std::string> shells;
    for (const auto& run : fakes.processes.requests())
        if (run.program == "/bin/sh")
            shells.push_back(run.arguments.at(1));
    EXPECT_EQ(shells, (std::vector{profile.restoreCommand(kt::RestoreVariant::Automatic, true),
                                   profile.restoreCommand(kt::RestoreVariant::Automatic, false)}))
        << "the shell ran before the call returned";
    settle();
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{"RESTORE: Alle hosts entries verwijderd (geen backup)",
                                        "RESTORE: Hosts hersteld vanuit backup"}));
    EXPECT_TRUE(privilegedRuns.empty());
    fakes.processes.setHandler([this](const kt::ProcessRequest& request) {
        if (request.program == "/bin/sh")
            return FakeProcessRunner::notStarted("No such file");
        privilegedRuns.push_back("script");
        return FakeProcessRunner::exited(promptAccepted ? 0 : 1);
    });
    blocking().forceRestoreNetworkSettings();
    settle();
    EXPECT_EQ(logLines()[0], "RESTORE: Netwerk hersteld met admin rechten");
    promptAccepted = false;
    blocking().forceRestoreNetworkSettings();
    settle();
    EXPECT_EQ(logLines()[0], "RESTORE FOUT: Kon netwerk niet herstellen");
    EXPECT_EQ(privilegedRuns.size(), 2u);
}

TEST_F(NetworkRestore, TheHelpersRestoreRunsAtOnceAndAManualOneClearsTheBlockOnlyWhenItSucceeds) {
    EXPECT_TRUE(blocking().forceRestoreNetworkSettings());
    EXPECT_EQ(privilegedRuns, std::vector<std::string>{"restore"}) << "run before returning";
    settle();
    EXPECT_EQ(logLines().at(0), "RESTORE: Netwerk hersteld");
    promptAccepted = false;
    promptError = "Niet hersteld: hosts-bestand";
    EXPECT_FALSE(blocking().forceRestoreNetworkSettings());
    settle();
    EXPECT_EQ(logLines().at(0), "RESTORE FOUT: Niet hersteld: hosts-bestand");
    privilegedRuns.clear();
    promptError = "Geweigerd door polkit";
    state->isBlocked = true;
    state->hostsCount = 6;
    state->isLoggedIn = true;
    std::vector<bool> reported;
    state->manualRestoreNetwork([&](bool ok) { reported.push_back(ok); });
    settle();
    EXPECT_EQ(shown(), "logged-in blocked status=- error=- hosts=6");
    EXPECT_EQ(logLines()[0], "MANUEEL HERSTEL FOUT: Geweigerd door polkit");
    promptAccepted = true;
    state->manualRestoreNetwork([&](bool ok) {
        EXPECT_FALSE(state->isBlocked.get()) << "the state is updated before the caller hears";
        reported.push_back(ok);
    });
    settle();
    EXPECT_EQ(reported, (std::vector<bool>{false, true})) << "as the helper answered";
    EXPECT_EQ(shown(), "logged-in status=Internet handmatig hersteld error=- hosts=0")
        << "the session goes on";
    EXPECT_EQ(logLines()[0], "MANUEEL HERSTEL: Succesvol afgerond");
    // Blocked again at the next blocked reply.
    loggedIn();
    statusReply(R"({"success":true,"is_blocked":true,"domains":["claude.ai"]})");
    EXPECT_EQ(runs("activate") + state->isBlocked.get(), 2u);
    // The caller hears exactly once, also when the state is gone.
    state->manualRestoreNetwork([&](bool ok) { reported.push_back(ok); });
    state.reset();
    settle();
    EXPECT_EQ(reported.size(), 3u);
}
