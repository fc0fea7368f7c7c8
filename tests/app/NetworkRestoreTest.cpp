#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "blocking/SystemProfile.h"

using kt::testing::FakeProcessRunner;
using NetworkRestore = kt::testing::SessionFixture;

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
    EXPECT_EQ(reported, (std::vector<bool>{false, true}));
    EXPECT_EQ(privilegedRuns, (std::vector<std::string>{"restore", "restore"}));
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
