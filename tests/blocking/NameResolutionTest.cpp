#include <gtest/gtest.h>

#include <set>

#include "FakeProcessRunner.h"
#include "ManualWorkers.h"
#include "blocking/BlockLists.h"
#include "blocking/NameResolution.h"

namespace kt {
namespace {

using testing::FakeProcessRunner;
using testing::ManualWorkers;
using Hosts = std::vector<std::string>;

TEST(HostSelection, FollowsTheContainmentRuleWithWwwRemoved) {
    const Hosts& ai = aiHostList();
    EXPECT_TRUE(selectHostsToLookUp(ai, {}).empty());
    EXPECT_TRUE(selectHostsToLookUp(ai, {""}).empty());
    EXPECT_TRUE(selectHostsToLookUp(ai, {"example.org"}).empty());
    // Case-sensitive and literal.
    EXPECT_TRUE(selectHostsToLookUp(ai, {"ChatGPT.com"}).empty());
    EXPECT_EQ(selectHostsToLookUp(ai, {"www.chatgpt.com"}), Hosts{"chatgpt.com"});
    // A parent domain selects every host under it, in list order.
    EXPECT_EQ(selectHostsToLookUp(ai, {"openai.com"}),
              (Hosts{"chat.openai.com", "api.openai.com"}));
    EXPECT_EQ(selectHostsToLookUp(ai, {"cursor.sh"}).size(), 7u);
    // A blocked name that contains a listed host (with its "www." removed).
    EXPECT_EQ(selectHostsToLookUp(ai, {"eu.api.anthropic.com"}), Hosts{"api.anthropic.com"});
    EXPECT_EQ(selectHostsToLookUp(ai, {"perplexity.ai"}),
              (Hosts{"perplexity.ai", "www.perplexity.ai"}));
    // Each host once, however many names select it.
    EXPECT_EQ(selectHostsToLookUp(ai, {"claude.ai", "claude.ai", "www.claude.ai"}),
              Hosts{"claude.ai"});
}

TEST(DigRequest, ExactlyFiveArgumentsAndStandardErrorDiscarded) {
    ProcessRequest request = digRequest("chatgpt.com", "AAAA");
    EXPECT_EQ(request.program, "/usr/bin/dig");
    EXPECT_EQ(request.arguments,
              (std::vector<std::string>{"+short", "+time=2", "+tries=1", "chatgpt.com", "AAAA"}));
    EXPECT_EQ(request.standardOutput, ProcessOutput::Capture);
    EXPECT_EQ(request.standardError, ProcessOutput::Discard);
}

TEST(DigAnswerParsing, SkipsAliasesLoopbackAndJunkAndRejectsNonAddresses) {
    DigAnswer answer = parseDigAnswer(
        "chatgpt.com.cdn.cloudflare.net.\n104.18.32.47\r\n  172.64.155.209  "
        "\n\n0.0.0.0\n127.0.0.1\n"
        "::1\n2606:4700:4400::6812:2011\n;; connection timed out; no servers could be reached\n"
        ";; communications error to 10.77.0.53#53: timed out\n  ; 1.2.3.4\n"
        "1.2.3.4; pass all\n300.1.1.1\n12\n");
    EXPECT_EQ(answer.rules, (std::vector<std::string>{
                                "block drop quick from any to 104.18.32.47",
                                "block drop quick from any to 172.64.155.209",
                                "block drop quick inet6 from any to 2606:4700:4400::6812:2011"}));
    // dig's remarks start with ";" and are skipped, whatever they hold.
    EXPECT_EQ(answer.rejected, (std::vector<std::string>{"1.2.3.4; pass all", "300.1.1.1"}));
    EXPECT_TRUE(parseDigAnswer("").rules.empty());
}

// Answers "10.0.<host>.<type>" so that every answer tells where it came from.
ProcessResult answerFor(const ProcessRequest& request, const Hosts& hosts) {
    std::size_t host = 0;
    while (hosts[host] != request.arguments[3]) ++host;
    bool v6 = request.arguments[4] == "AAAA";
    std::string out =
        v6 ? "alias.example.\n2001:db8::" + std::to_string(host + 1) + "\n"
           : "10.0." + std::to_string(host) + ".1\n10.0." + std::to_string(host) + ".2\n";
    return FakeProcessRunner::exited(0, out);
}

TEST(AddressLookup, ResultsComeBackInHostOrderWhateverOrderTheWorkersFinish) {
    Hosts hosts = {"chatgpt.com", "claude.ai", "api.openai.com"};
    FakeProcessRunner processes;
    processes.setHandler([&](const ProcessRequest& r) { return answerFor(r, hosts); });
    ManualWorkers workers;
    std::optional<LookupResult> result;
    int calls = 0;
    lookUpAddressRules(hosts, processes, workers, [&](LookupResult r) {
        ++calls;
        result = std::move(r);
    });
    EXPECT_EQ(workers.pending(), 6u);  // every lookup at once
    EXPECT_FALSE(result);
    while (workers.runNewest()) {
    }
    ASSERT_EQ(calls, 1);
    EXPECT_EQ(result->rules,
              (std::vector<std::string>{
                  "block drop quick from any to 10.0.0.1", "block drop quick from any to 10.0.0.2",
                  "block drop quick inet6 from any to 2001:db8::1",
                  "block drop quick from any to 10.0.1.1", "block drop quick from any to 10.0.1.2",
                  "block drop quick inet6 from any to 2001:db8::2",
                  "block drop quick from any to 10.0.2.1", "block drop quick from any to 10.0.2.2",
                  "block drop quick inet6 from any to 2001:db8::3"}));
    std::set<std::pair<std::string, std::string>> asked;
    for (const auto& request : processes.requests()) {
        EXPECT_EQ(request.program, "/usr/bin/dig");
        asked.insert({request.arguments[3], request.arguments[4]});
    }
    EXPECT_EQ(asked.size(), 6u);
}

TEST(AddressLookup, FailedStartsAndUndecodableAnswersGiveNothing) {
    FakeProcessRunner processes;
    processes.setHandler([](const ProcessRequest& r) {
        if (r.arguments[3] == "claude.ai")
            return FakeProcessRunner::notStarted("no such file");
        if (r.arguments[4] == "AAAA")
            return FakeProcessRunner::exited(0, "2001:db8::7\n\xff\n");
        return FakeProcessRunner::exited(9, "192.0.2.1\n300.0.0.1\n");
    });
    ManualWorkers workers;
    std::optional<LookupResult> result;
    lookUpAddressRules({"claude.ai", "chatgpt.com"}, processes, workers,
                       [&](LookupResult r) { result = std::move(r); });
    workers.runAll();
    ASSERT_TRUE(result);
    // The exit status is not looked at; the AAAA answer is not UTF-8.
    EXPECT_EQ(result->rules, std::vector<std::string>{"block drop quick from any to 192.0.2.1"});
    EXPECT_EQ(result->rejectedAnswers, std::vector<std::string>{"300.0.0.1"});

    // No host: the answer comes at once and no program starts.
    bool called = false;
    FakeProcessRunner idle;
    lookUpAddressRules({}, idle, workers, [&](LookupResult r) { called = r.rules.empty(); });
    EXPECT_TRUE(called);
    EXPECT_TRUE(idle.requests().empty());
}

TEST(AddressLookup, SummaryLine) {
    EXPECT_EQ(lookupSummaryLine(0, 30), "DNS lookup (dig): 0 IPs gevonden voor 30 domeinen");
    EXPECT_EQ(lookupSummaryLine(7, 30), "DNS lookup (dig): 7 IPs gevonden voor 30 domeinen");
}

}  // namespace
}  // namespace kt
