// The lookups of addresses and the activation plan they feed.
#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "blocking/ActivationPlan.h"
#include "blocking/BlockLists.h"
#include "blocking/SystemProfile.h"
#include "privilege/AddressLookups.h"

namespace kt {
namespace {

using testing::FakeProcessRunner;
using Hosts = std::vector<std::string>;

TEST(NameResolution, HostsToLookUpFollowTheContainmentRuleWithWwwRemoved) {
    const std::pair<Hosts, Hosts> rows[] = {
        {{}, {}},
        {{""}, {}},
        {{"example.org"}, {}},
        {{"ChatGPT.com"}, {}},  // case-sensitive and literal
        {{"www.chatgpt.com"}, {"chatgpt.com"}},
        {{"openai.com"}, {"chat.openai.com", "api.openai.com"}},  // in list order
        {{"eu.api.anthropic.com"}, {"api.anthropic.com"}},
        {{"perplexity.ai"}, {"perplexity.ai", "www.perplexity.ai"}},
        {{"claude.ai", "claude.ai", "www.claude.ai"}, {"claude.ai"}}};  // each host once
    for (const auto& [blocked, hosts] : rows)
        EXPECT_EQ(selectHostsToLookUp(aiHostList(), blocked), hosts)
            << ::testing::PrintToString(blocked);
}

TEST(NameResolution, DigAnswersSkipAliasesLoopbackAndRemarks) {
    const DigAnswer answer = parseDigAnswer(
        "chatgpt.com.cdn.cloudflare.net.\n104.18.32.47\r\n  172.64.155.209  \n\n0.0.0.0\n"
        "127.0.0.1\n::1\n2606:4700:4400::6812:2011\n;; connection timed out; no servers could be "
        "reached\n;; communications error to 10.77.0.53#53: timed out\n  ; 1.2.3.4\n"
        "1.2.3.4; pass all\n300.1.1.1\n12\n");
    EXPECT_EQ(answer.addresses, (std::vector<std::string>{"104.18.32.47", "172.64.155.209",
                                                          "2606:4700:4400::6812:2011"}));
    // dig's remarks start with ";" and are skipped, whatever they hold.
    EXPECT_EQ(answer.rejected, (std::vector<std::string>{"1.2.3.4; pass all", "300.1.1.1"}));
}

// All lookups start at once; the answers come back in host order, A before
// AAAA, whatever order the workers finish in. A failed start or an answer that
// is not UTF-8 gives nothing; the exit status is not looked at.
TEST(NameResolution, LookupsRunSideBySideAndAnswerInHostOrder) {
    const Hosts hosts = {"chatgpt.com", "claude.ai", "api.openai.com"};
    FakeProcessRunner processes;
    processes.setHandler([&](const ProcessRequest& r) {
        const std::string& host = r.arguments.at(3);
        if (host == "claude.ai")
            return FakeProcessRunner::notStarted("no such file");
        const std::string n = host == "chatgpt.com" ? "1" : "2";
        if (r.arguments.at(4) == "AAAA")
            return FakeProcessRunner::exited(0,
                                             n == "1" ? "alias.example.\n2001:db8::1\n" : "\xff\n");
        return FakeProcessRunner::exited(9, "10.0." + n + ".1\n10.0." + n + ".2\n300.0.0.1\n");
    });
    testing::ManualWorkers workers;
    std::vector<LookupResult> results;
    lookUpAddresses(hosts, processes, workers, [&](LookupResult r) { results.push_back(r); });
    EXPECT_EQ(workers.pending(), 6u);
    EXPECT_TRUE(results.empty());
    while (workers.runNewest()) {
    }
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].addresses, (std::vector<std::string>{"10.0.1.1", "10.0.1.2", "2001:db8::1",
                                                              "10.0.2.1", "10.0.2.2"}));
    EXPECT_EQ(results[0].rejectedAnswers, (std::vector<std::string>{"300.0.0.1", "300.0.0.1"}));
    EXPECT_EQ(processes.requests().size(), 6u);
}

class PrepareActivation : public testing::SessionFixture {
  protected:
    std::optional<ActivationPlan> plan;
    void SetUp() override { fakes.macos(); }
    void prepare() {
        blocking().prepareActivation(nullptr, [this](const ActivationPlan& p) { plan = p; });
    }
    // The debug log's lines, newest first, without their times.
    std::string log() {
        fakes.scheduler.runUntilIdle();
        std::string lines;
        for (const auto& line : logLines()) lines += line + "\n";
        return lines;
    }
};

// Validated lists and lookups off the main thread; the name servers and the
// class service stay reachable, whatever the service sends and dig answers.
TEST_F(PrepareActivation, ValidatedPlanWithLookupsOffTheMainThread) {
    start({"https://Klas.School.example:8443/Vexlo/api/"});
    fakes.files.putFile("/etc/resolv.conf", "nameserver 127.0.0.53\n");
    fakes.files.putFile("/run/systemd/resolve/resolv.conf", "nameserver 10.77.0.53\n");
    // The lists of a reply that does not switch the block on.
    blocking().follow(
        {.domains = {"chatgpt.com", "bad name'; reboot", "www.claude.ai", "klas.school.example"},
         .ips = {"203.0.113.7", "1.2.3.4 port 22", "10.0.0.0/8", "198.51.100.20"}});
    fakes.processes.setHandler([](const ProcessRequest& r) {
        const std::string& host = r.arguments[3];
        return FakeProcessRunner::exited(0, r.arguments[4] == "AAAA" ? ""
                                            : host == "claude.ai"    ? "160.79.104.10\n"
                                            : host == "Klas.School.example"
                                                ? "198.51.100.20\n"
                                                : "104.18.32.47\n198.51.100.20\n1.2.3\n");
    });
    prepare();
    EXPECT_EQ(fakes.workers.pending(), 6u);
    fakes.scheduler.runUntilIdle();
    // Meanwhile a new reply changes the lists: this plan keeps the old ones.
    blocking().follow({.domains = {"other.nl"}});
    while (fakes.workers.runNewest()) {
    }
    EXPECT_FALSE(plan);  // delivered through the main queue
    const std::string lines = log();
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->hostsCount(), 4);
    EXPECT_EQ(plan->firewallCount(), 47);  // 44 + 203.0.113.7 + 104.18.32.47 + 160.79.104.10
    EXPECT_NE(std::find(plan->firewallRules.begin(), plan->firewallRules.end(),
                        blockAddress("160.79.104.10")),
              plan->firewallRules.end());
    EXPECT_TRUE(
        lines.starts_with("WAARSCHUWING: Ongeldige invoer niet gebruikt: domeinnamen "
                          "\"bad name'; reboot\", \"klas.school.example\"; IP-adressen "
                          "\"1.2.3.4 port 22\", \"10.0.0.0/8\", \"198.51.100.20\"; "
                          "DNS-antwoorden \"1.2.3\", \"198.51.100.20\"\n"
                          "DNS lookup (dig): 2 IPs gevonden voor 30 domeinen\n"))
        << lines;
}

// No blocked names: no lookup, and the script uses the home folder. A plan
// whose state is gone before the lookups end is never delivered.
TEST_F(PrepareActivation, NoBlockedNamesMeansNoLookupAndNothingHappensWhenTheStateIsGone) {
    start();
    prepare();
    EXPECT_TRUE(log().starts_with("DNS lookup (dig): 0 IPs gevonden voor 30 domeinen\n"));
    ASSERT_TRUE(plan);
    EXPECT_TRUE(fakes.processes.requests().empty());
    EXPECT_EQ(plan->firewallCount(), 44);
    fakes.files.home = "/Users/piet";
    EXPECT_EQ(blocking().buildActivateCommand(*plan),
              profileNamed("macos")->activationScript(*plan, "/Users/piet"));
    plan.reset();
    blocking().follow({.domains = {"chatgpt.com"}});
    prepare();
    state.reset();
    fakes.workers.runAll();
    fakes.scheduler.runUntilIdle();
    EXPECT_FALSE(plan);
}

}  // namespace
}  // namespace kt
