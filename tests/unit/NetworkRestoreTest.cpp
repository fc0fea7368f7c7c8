#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "blocking/SystemProfile.h"

namespace {

class NetworkRestore : public kt::testing::SessionFixture {
  protected:
    std::vector<kt::ProcessRequest> shells() const {
        std::vector<kt::ProcessRequest> result;
        for (const auto& r : fakes.processes.requests())
            if (r.program == "/bin/sh")
                result.push_back(r);
        return result;
    }
    std::string backupPath() const { return state->systemProfile().paths().backupPath; }
};

}  // namespace

TEST_F(NetworkRestore, AutomaticRestoreRunsTheShellSynchronously) {
    const auto& profile = state->systemProfile();
    fakes.files.putFile(backupPath(), "127.0.0.1 localhost\n");
    state->forceRestoreNetworkSettings();
    auto runs = shells();
    ASSERT_EQ(runs.size(), 1u) << "the shell ran before the call returned";
    EXPECT_EQ(runs[0].arguments,
              (std::vector<std::string>{
                  "-c", profile.restoreCommand(kt::RestoreVariant::Automatic, true)}));
    settle();
    EXPECT_EQ(logLines(), (std::vector<std::string>{"RESTORE: Hosts hersteld vanuit backup"}));

    fakes.files.removeTree(backupPath());
    state->debugLog = "";
    state->forceRestoreNetworkSettings();
    runs = shells();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].arguments[1], profile.restoreCommand(kt::RestoreVariant::Automatic, false));
    settle();
    EXPECT_EQ(logLines()[0], "RESTORE: Alle hosts entries verwijderd (geen backup)");
    EXPECT_TRUE(privilegedScripts.empty());
    EXPECT_FALSE(state->isBlocked.get());
}

TEST_F(NetworkRestore, AutomaticRestoreFallsBackToAdministratorWhenNoShellStarts) {
    fakes.processes.setHandler([this](const kt::ProcessRequest& request) {
        if (request.program == "/bin/sh")
            return kt::testing::FakeProcessRunner::notStarted("No such file");
        privilegedScripts.push_back(request.arguments.at(1));
        return kt::testing::FakeProcessRunner::exited(promptAccepted ? 0 : 1);
    });
    state->forceRestoreNetworkSettings();
    settle();
    EXPECT_EQ(privilegedScripts.size(), 1u);
    EXPECT_EQ(logLines()[0], "RESTORE: Netwerk hersteld met admin rechten");

    promptAccepted = false;
    state->forceRestoreNetworkSettings();
    settle();
    EXPECT_EQ(logLines()[0], "RESTORE FOUT: Kon netwerk niet herstellen");
}

TEST_F(NetworkRestore, ManualRestoreClearsTheBlockThenReports) {
    state->isBlocked = true;
    state->hostsCount = 6;
    state->firewallCount = 47;
    state->isLoggedIn = true;
    std::vector<bool> reported;
    state->manualRestoreNetwork([&](bool ok) {
        EXPECT_FALSE(state->isBlocked.get()) << "the state is updated before the caller hears";
        reported.push_back(ok);
    });
    settle();
    EXPECT_EQ(reported, std::vector<bool>{true});
    ASSERT_EQ(privilegedScripts.size(), 1u);
    EXPECT_EQ(privilegedScripts[0],
              state->systemProfile().restoreCommand(kt::RestoreVariant::Manual, false));
    EXPECT_EQ(state->hostsCount.get(), 0);
    EXPECT_EQ(state->firewallCount.get(), 0);
    EXPECT_EQ(state->statusMessage.get(), "Internet handmatig hersteld");
    EXPECT_TRUE(state->isLoggedIn.get()) << "the session goes on";
    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              "MANUEEL HERSTEL: Succesvol afgerond",
                              "MANUEEL HERSTEL: Alle hosts entries verwijderd (geen backup)",
                              "MANUEEL HERSTEL: Gestart door gebruiker"}));
}

TEST_F(NetworkRestore, CancelledManualRestoreChangesNothingAndReportsFalse) {
    state->isBlocked = true;
    state->hostsCount = 6;
    promptAccepted = false;
    std::vector<bool> reported;
    state->manualRestoreNetwork([&](bool ok) { reported.push_back(ok); });
    settle();
    EXPECT_EQ(reported, std::vector<bool>{false});
    EXPECT_TRUE(state->isBlocked.get());
    EXPECT_EQ(state->hostsCount.get(), 6);
    EXPECT_EQ(logLines()[0], "MANUEEL HERSTEL FOUT: User canceled. (-128)");
}

TEST_F(NetworkRestore, ManualRestoreReportsAlsoWhenTheStateIsGone) {
    std::vector<bool> reported;
    state->manualRestoreNetwork([&](bool ok) { reported.push_back(ok); });
    state.reset();
    for (int i = 0; i < 10; ++i) {
        fakes.scheduler.runUntilIdle();
        fakes.workers.runAll();
    }
    EXPECT_EQ(reported.size(), 1u) << "called exactly once";
}
