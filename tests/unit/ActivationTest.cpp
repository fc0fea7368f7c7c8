#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "blocking/SystemProfile.h"

namespace {

class Activation : public kt::testing::SessionFixture {
  protected:
    void blockList(std::vector<std::string> domains, std::vector<std::string> ips = {}) {
        state->blockedDomains = std::move(domains);
        state->blockIPs = std::move(ips);
    }
};

}  // namespace

TEST_F(Activation, SuccessStoresCountersTextsAndLogLines) {
    blockList({"chatgpt.com", "claude.ai", "example.org", "www.test.nl", "school.be"});
    state->errorMessage = "oud";
    state->integrityReconnectAttempts = 2;
    state->activateBlocking();
    EXPECT_TRUE(state->isInstalling.get());
    EXPECT_TRUE(state->isActivatingBlocking);
    EXPECT_EQ(state->statusMessage.get(), "Wachtwoordvenster verschijnt...");

    settle();
    ASSERT_EQ(privilegedScripts.size(), 1u);
    EXPECT_TRUE(privilegedScripts[0].starts_with("#!/bin/bash")) << privilegedScripts[0];
    EXPECT_FALSE(state->isInstalling.get());
    EXPECT_FALSE(state->isActivatingBlocking);
    EXPECT_TRUE(state->hasSuccessfullyActivatedBlocking);
    EXPECT_EQ(state->integrityReconnectAttempts, 0);
    EXPECT_EQ(state->statusMessage.get(), "Blokkering actief");
    EXPECT_FALSE(state->errorMessage.get().has_value());
    EXPECT_EQ(state->hostsCount.get(), 10);
    // 29 encrypted-DNS rules and 15 range rules; the fake dig answers nothing.
    EXPECT_EQ(state->firewallCount.get(), 44);

    const auto lines = logLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Blokkering geactiveerd: 10 hosts, 44 firewall regels");
    EXPECT_EQ(lines[1], "DoH/DoT blokkering: 29 regels");
    EXPECT_EQ(lines[2], "DNS lookup (dig): 0 IPs gevonden voor 30 domeinen");
}

TEST_F(Activation, ResolvedAddressesBecomeRulesOffTheMainThread) {
    blockList({"chatgpt.com"});
    fakes.processes.setHandler([this](const kt::ProcessRequest& request) {
        if (request.program == "/usr/bin/dig")
            return kt::testing::FakeProcessRunner::exited(0, request.arguments.back() == "A"
                                                                 ? "cdn.alias.net.\n104.18.32.47\n"
                                                                 : "2606:4700::6812:20\n");
        privilegedScripts.push_back("run");
        return kt::testing::FakeProcessRunner::exited(0, "OK\n");
    });
    state->activateBlocking();
    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(privilegedScripts.size(), 0u) << "the lookups wait for a worker";
    EXPECT_GT(fakes.workers.pending(), 0u);
    settle();
    EXPECT_EQ(privilegedScripts.size(), 1u);
    EXPECT_GT(state->firewallCount.get(), 44) << "the looked-up addresses add rules";
}

TEST_F(Activation, CancelledPromptClearsFlagsAndKeepsCounters) {
    state->hostsCount = 8;
    state->firewallCount = 50;
    blockList({"claude.ai"});
    promptAccepted = false;
    state->activateBlocking();
    settle();
    EXPECT_FALSE(state->isInstalling.get());
    EXPECT_FALSE(state->isActivatingBlocking);
    EXPECT_FALSE(state->statusMessage.get().has_value());
    EXPECT_EQ(
        state->errorMessage.get(),
        "Kon blokkering niet activeren. Voer je Mac-wachtwoord in en klik OK (niet annuleren).");
    EXPECT_EQ(state->hostsCount.get(), 8);
    EXPECT_EQ(state->firewallCount.get(), 50);
    EXPECT_FALSE(state->hasSuccessfullyActivatedBlocking);
    EXPECT_EQ(logLines()[0], "Fout bij activeren: User canceled. (-128)");
}

TEST_F(Activation, SecondCallWhileOneRunsIsSkippedAndThePromptShownOnce) {
    state->activateBlocking();
    state->activateBlocking();
    settle();
    EXPECT_EQ(privilegedScripts.size(), 1u);
    EXPECT_TRUE(logged("⚠ Blokkering activatie al bezig, skip"));

    state->deactivateBlocking();
    state->deactivateBlocking();
    settle();
    EXPECT_EQ(privilegedScripts.size(), 2u);
    EXPECT_TRUE(logged("WAARSCHUWING: Blokkering deactivatie al bezig, skip"));
}

TEST_F(Activation, DeactivationRunsTheUndoCommandAndResetsCounters) {
    state->hostsCount = 10;
    state->firewallCount = 44;
    state->errorMessage = "blijft staan";
    state->deactivateBlocking();
    EXPECT_TRUE(state->isDeactivatingBlocking);
    EXPECT_FALSE(state->statusMessage.get().has_value()) << "nothing visible changes at the start";
    settle();
    ASSERT_EQ(privilegedScripts.size(), 1u);
    EXPECT_EQ(privilegedScripts[0], state->systemProfile().undoCommand());
    EXPECT_FALSE(state->isDeactivatingBlocking);
    EXPECT_EQ(state->statusMessage.get(), "Blokkering uitgeschakeld");
    EXPECT_EQ(state->hostsCount.get(), 0);
    EXPECT_EQ(state->firewallCount.get(), 0);
    EXPECT_EQ(state->errorMessage.get(), "blijft staan");
    EXPECT_EQ(logLines()[0], "Blokkering gedeactiveerd");
    EXPECT_EQ(logLines()[1], "Blokkering deactiveren...");

    promptAccepted = false;
    promptError = "\xff\xfe";
    state->deactivateBlocking();
    settle();
    EXPECT_EQ(logLines()[0], "Fout bij deactiveren: onbekend")
        << "an error text that is not UTF-8 is absent and reads 'onbekend'";
    EXPECT_EQ(state->statusMessage.get(), "Blokkering uitgeschakeld");
}

TEST_F(Activation, ActivationThenDeactivationRunInThatOrder) {
    state->hostsCount = 3;
    state->activateBlocking();
    settle();
    state->deactivateBlocking();
    state->activateBlocking();
    settle();
    ASSERT_EQ(privilegedScripts.size(), 3u);
    EXPECT_TRUE(privilegedScripts[0].starts_with("#!/bin/bash"));
    EXPECT_EQ(privilegedScripts[1], state->systemProfile().undoCommand());
    EXPECT_TRUE(privilegedScripts[2].starts_with("#!/bin/bash"));
    EXPECT_EQ(state->statusMessage.get(), "Blokkering actief");
}

TEST_F(Activation, AnUndoAskedForWhileTheRulesArePreparedWins) {
    state->blockedDomains = {"chatgpt.com"};  // selects hosts to look up: a worker is needed
    state->activateBlocking();
    fakes.scheduler.runUntilIdle();
    ASSERT_GT(fakes.workers.pending(), 0u);
    state->deactivateBlocking();  // the teacher switched off before the prompt appeared
    settle();
    ASSERT_EQ(privilegedScripts.size(), 1u) << "only the undo runs";
    EXPECT_EQ(privilegedScripts[0], state->systemProfile().undoCommand());
    EXPECT_FALSE(state->isInstalling.get());
    EXPECT_FALSE(state->isActivatingBlocking);
    EXPECT_TRUE(logged("Blokkering activeren overgeslagen: intussen uitgeschakeld"));
}

TEST_F(Activation, CompletionAfterTheStateIsGoneTouchesNothing) {
    state->activateBlocking();
    state.reset();
    for (int i = 0; i < 10; ++i) {
        fakes.scheduler.runUntilIdle();
        fakes.workers.runAll();
    }
    EXPECT_EQ(fakes.workers.pending(), 0u);
    EXPECT_EQ(fakes.scheduler.pendingTaskCount(), 0u);
    EXPECT_TRUE(privilegedScripts.empty()) << "a plan for a state that is gone is not installed";
}
