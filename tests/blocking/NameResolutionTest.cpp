#include <gtest/gtest.h>

#include "FakeProcessRunner.h"
#include "ManualWorkers.h"
#include "blocking/BlockLists.h"
#include "blocking/NameResolution.h"

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
    EXPECT_EQ(answer.rules, (std::vector<std::string>{
                                "block drop quick from any to 104.18.32.47",
                                "block drop quick from any to 172.64.155.209",
                                "block drop quick inet6 from any to 2606:4700:4400::6812:2011"}));
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
    lookUpAddressRules(hosts, processes, workers, [&](LookupResult r) { results.push_back(r); });
    EXPECT_EQ(workers.pending(), 6u);
    EXPECT_TRUE(results.empty());
    while (workers.runNewest()) {
    }
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(
        results[0].rules,
        (std::vector<std::string>{
            "block drop quick from any to 10.0.1.1", "block drop quick from any to 10.0.1.2",
            "block drop quick inet6 from any to 2001:db8::1",
            "block drop quick from any to 10.0.2.1", "block drop quick from any to 10.0.2.2"}));
    EXPECT_EQ(results[0].rejectedAnswers, (std::vector<std::string>{"300.0.0.1", "300.0.0.1"}));
    EXPECT_EQ(processes.requests().size(), 6u);
}

}  // namespace
}  // namespace kt
