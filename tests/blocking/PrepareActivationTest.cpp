#include <gtest/gtest.h>

#include <sstream>

#include "LogMessages.h"
#include "TestPorts.h"
#include "app/AppState.h"
#include "blocking/ActivationPlan.h"
#include "blocking/SystemProfile.h"

namespace kt {
namespace {

using testing::FakeProcessRunner;

class PrepareActivation : public ::testing::Test {
  protected:
    testing::TestPorts ports;
    std::shared_ptr<AppState> state = AppState::create(ports.macos().ports());
    std::optional<ActivationPlan> plan;

    void prepare() {
        state->prepareActivation(nullptr, [this](const ActivationPlan& p) { plan = p; });
    }
    // The debug log's lines, newest first, without their times.
    std::string log() {
        ports.scheduler.runUntilIdle();
        std::string lines;
        for (const auto& line : testing::logMessages(state->debugLog.get())) lines += line + "\n";
        return lines;
    }
};

// Validated lists and lookups off the main thread; the name servers and the
// class service stay reachable, whatever the service sends and dig answers.
TEST_F(PrepareActivation, ValidatedPlanWithLookupsOffTheMainThread) {
    state->apiBaseURL = "https://Klas.School.example:8443/Vexlo/api/";
    ports.files.putFile("/etc/resolv.conf", "nameserver 127.0.0.53\n");
    ports.files.putFile("/run/systemd/resolve/resolv.conf", "nameserver 10.77.0.53\n");
    state->blockedDomains = {"chatgpt.com", "bad name'; reboot", "www.claude.ai",
                             "klas.school.example"};
    state->blockIPs = {"203.0.113.7", "1.2.3.4 port 22", "10.0.0.0/8", "198.51.100.20"};
    ports.processes.setHandler([](const ProcessRequest& r) {
        const std::string& host = r.arguments[3];
        return FakeProcessRunner::exited(0, r.arguments[4] == "AAAA" ? ""
                                            : host == "claude.ai"    ? "160.79.104.10\n"
                                            : host == "Klas.School.example"
                                                ? "198.51.100.20\n"
                                                : "104.18.32.47\n198.51.100.20\n1.2.3\n");
    });
    prepare();
    EXPECT_EQ(ports.workers.pending(), 6u);
    ports.scheduler.runUntilIdle();
    // Meanwhile a new reply changes the lists: this plan keeps the old ones.
    state->blockedDomains = {"other.nl"};
    while (ports.workers.runNewest()) {
    }
    EXPECT_FALSE(plan);  // delivered through the main queue
    const std::string lines = log();
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->hostsCount, 4);
    EXPECT_EQ(plan->firewallCount, 47);  // 44 + 203.0.113.7 + 104.18.32.47 + 160.79.104.10
    EXPECT_NE(plan->rulesText.find("block drop quick from any to 160.79.104.10"),
              std::string::npos);
    EXPECT_TRUE(
        lines.starts_with("WAARSCHUWING: Ongeldige invoer niet gebruikt: domeinnamen "
                          "\"bad name'; reboot\", \"klas.school.example\"; IP-adressen "
                          "\"1.2.3.4 port 22\", \"10.0.0.0/8\", \"198.51.100.20\"; "
                          "DNS-antwoorden \"1.2.3\", \"198.51.100.20\"\n"
                          "DNS lookup (dig): 2 IPs gevonden voor 30 domeinen\n"))
        << lines;
}

TEST_F(PrepareActivation, NoBlockedNamesMeansNoLookupAndTheScriptUsesTheHomeFolder) {
    prepare();
    EXPECT_TRUE(log().starts_with("DNS lookup (dig): 0 IPs gevonden voor 30 domeinen\n"));
    ASSERT_TRUE(plan);
    EXPECT_TRUE(ports.processes.requests().empty());
    EXPECT_EQ(plan->firewallCount, 44);
    ports.files.home = "/Users/piet";
    EXPECT_EQ(state->buildActivateCommand(plan->hostsEntries, plan->rulesText),
              profileNamed("macos")->activationScript("", plan->rulesText, "/Users/piet"));
}

TEST_F(PrepareActivation, NothingHappensWhenTheStateIsGone) {
    state->blockedDomains = {"chatgpt.com"};
    prepare();
    state.reset();
    ports.workers.runAll();
    ports.scheduler.runUntilIdle();
    EXPECT_FALSE(plan);
}

}  // namespace
}  // namespace kt
