#include <gtest/gtest.h>

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
    std::shared_ptr<AppState> state = AppState::create(ports.ports());

    std::vector<std::string> logLines() {
        ports.scheduler.runUntilIdle();
        std::vector<std::string> lines;
        std::string log = state->debugLog.get();
        std::size_t start = 0;
        while (start < log.size()) {
            std::size_t end = log.find('\n', start);
            if (end == std::string::npos)
                end = log.size();
            std::string line = log.substr(start, end - start);
            lines.push_back(line.substr(line.find("] ") + 2));
            start = end + 1;
        }
        return lines;
    }
};

TEST_F(PrepareActivation, ValidatedPlanWithLookupsOffTheMainThread) {
    std::size_t logBefore = logLines().size();
    state->blockedDomains = {"chatgpt.com", "bad name'; reboot", "www.claude.ai"};
    state->blockIPs = {"203.0.113.7", "1.2.3.4 port 22"};
    ports.processes.setHandler([](const ProcessRequest& r) {
        if (r.arguments[4] == "AAAA")
            return FakeProcessRunner::exited(0, "");
        return FakeProcessRunner::exited(
            0, r.arguments[3] == "claude.ai" ? "160.79.104.10\n" : "104.18.32.47\n1.2.3\n");
    });
    std::optional<ActivationPlan> plan;
    state->prepareActivation(nullptr, [&](const ActivationPlan& p) { plan = p; });
    // Nothing runs on the main thread before the workers answered.
    EXPECT_EQ(ports.workers.pending(), 4u);
    ports.scheduler.runUntilIdle();
    EXPECT_FALSE(plan);
    // Meanwhile a new reply changes the lists: this plan keeps the old ones.
    state->blockedDomains = {"other.nl"};
    while (ports.workers.runNewest()) {
    }
    EXPECT_FALSE(plan);  // delivered through the main queue
    auto lines = logLines();
    ASSERT_TRUE(plan);

    EXPECT_EQ(plan->hostsEntries,
              "0.0.0.0 chatgpt.com\\n::1 chatgpt.com\\n0.0.0.0 www.chatgpt.com\\n::1 "
              "www.chatgpt.com\\n0.0.0.0 www.claude.ai\\n::1 www.claude.ai\\n");
    EXPECT_EQ(plan->hostsCount, 4);
    EXPECT_EQ(plan->firewallCount, 47);  // 44 + 203.0.113.7 + 104.18.32.47 + 160.79.104.10
    EXPECT_NE(plan->rulesText.find("block drop quick from any to 160.79.104.10"),
              std::string::npos);
    EXPECT_EQ(plan->rulesText.find("port 22"), std::string::npos);

    ASSERT_EQ(lines.size(), logBefore + 2);
    // Newest first: the summary, then the one line about what was left out.
    EXPECT_EQ(lines[0],
              "WAARSCHUWING: Ongeldige invoer niet gebruikt: domeinnamen \"bad name'; reboot\"; "
              "IP-adressen \"1.2.3.4 port 22\"; DNS-antwoorden \"1.2.3\"");
    EXPECT_EQ(lines[1], "DNS lookup (dig): 2 IPs gevonden voor 30 domeinen");
}

// The name servers and the class service stay reachable, whatever the service
// sends and dig answers.
TEST_F(PrepareActivation, NameServersAndTheClassServiceAreNeverBlocked) {
    state->apiBaseURL = "https://Klas.School.example:8443/Vexlo/api/";
    ports.files.putFile("/etc/resolv.conf", "nameserver 127.0.0.53\n");
    ports.files.putFile("/run/systemd/resolve/resolv.conf", "nameserver 10.77.0.53\n");
    state->blockedDomains = {"klas.school.example", "chatgpt.com"};
    state->blockIPs = {"10.0.0.0/8", "198.51.100.20", "203.0.113.7"};
    ports.processes.setHandler([](const ProcessRequest& r) {
        if (r.arguments[4] == "AAAA")
            return FakeProcessRunner::exited(0, "");
        return FakeProcessRunner::exited(0, r.arguments[3] == "Klas.School.example"
                                                ? "198.51.100.20\n"
                                                : "104.18.32.47\n198.51.100.20\n");
    });
    std::optional<ActivationPlan> plan;
    state->prepareActivation(nullptr, [&](const ActivationPlan& p) { plan = p; });
    ports.workers.runAll();
    const auto lines = logLines();
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->hostsCount, 2);
    EXPECT_EQ(plan->firewallCount, 46);  // 44 + 203.0.113.7 + 104.18.32.47
    EXPECT_EQ(plan->rulesText.find("198.51.100.20"), std::string::npos);
    EXPECT_EQ(lines.at(0),
              "WAARSCHUWING: Ongeldige invoer niet gebruikt: domeinnamen \"klas.school.example\"; "
              "IP-adressen \"10.0.0.0/8\", \"198.51.100.20\"; DNS-antwoorden \"198.51.100.20\"");
}

TEST_F(PrepareActivation, NoBlockedNamesMeansNoLookupAndTheFixedRules) {
    std::optional<ActivationPlan> plan;
    state->prepareActivation(nullptr, [&](const ActivationPlan& p) { plan = p; });
    auto lines = logLines();
    ASSERT_TRUE(plan);
    EXPECT_TRUE(ports.processes.requests().empty());
    EXPECT_EQ(plan->hostsEntries, "");
    EXPECT_EQ(plan->hostsCount, 0);
    EXPECT_EQ(plan->firewallCount, 44);
    EXPECT_EQ(lines.at(0), "DNS lookup (dig): 0 IPs gevonden voor 30 domeinen");

    // The script the activation then builds uses the user's home folder.
    ports.files.home = "/Users/piet";
    std::string script = state->buildActivateCommand(plan->hostsEntries, plan->rulesText);
    EXPECT_EQ(script, profileNamed("macos")->activationScript("", plan->rulesText, "/Users/piet"));
}

TEST_F(PrepareActivation, NothingHappensWhenTheStateIsGone) {
    state->blockedDomains = {"chatgpt.com"};
    bool called = false;
    state->prepareActivation(nullptr, [&](const ActivationPlan&) { called = true; });
    state.reset();
    ports.workers.runAll();
    ports.scheduler.runUntilIdle();
    EXPECT_FALSE(called);
}

}  // namespace
}  // namespace kt
