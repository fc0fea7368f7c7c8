#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "blocking/BlockLists.h"
#include "blocking/RuleText.h"
#include "blocking/Validation.h"

namespace kt {
namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find('\n', start);
        out.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return out;
        start = end + 1;
    }
}

TEST(BlockLists, FixedTablesHaveTheirSizesAndHoldOnlyValidText) {
    ASSERT_EQ(aiHostList().size(), 30u);
    EXPECT_EQ(encryptedDnsRules().size(), 29u);
    EXPECT_EQ(serviceRangeRules().size(), 15u);
    std::set<std::string> distinct(aiHostList().begin(), aiHostList().end());
    EXPECT_EQ(distinct.size(), 30u);
    for (const auto& host : aiHostList()) EXPECT_TRUE(isValidHostName(host)) << host;
    // The groups as listed: nine Cursor hosts first, Mistral's two last.
    EXPECT_EQ(
        std::count_if(aiHostList().begin(), aiHostList().begin() + 9,
                      [](const std::string& h) { return h.find("cursor") != std::string::npos; }),
        9);
    EXPECT_EQ(aiHostList()[13], "perplexity.ai");
    EXPECT_EQ(aiHostList()[14], "www.perplexity.ai");
    EXPECT_NE(aiHostList()[29].find("mistral"), std::string::npos);
    EXPECT_EQ(encryptedDnsRules().front(),
              "block drop quick proto tcp from any to 1.1.1.1 port 443");
    EXPECT_EQ(encryptedDnsRules().back(),
              "block drop quick proto tcp from any to 17.253.0.0/16 port 443");
    EXPECT_EQ(serviceRangeRules().back(), "block drop quick inet6 from any to 2a06:98c1::/32");
}

TEST(HostsEntries, FourEntriesPerNameTwoForWwwNamesSeparatedByBackslashN) {
    EXPECT_EQ(makeHostsEntries({}), "");
    EXPECT_EQ(makeHostsEntries({"chatgpt.com"}),
              "0.0.0.0 chatgpt.com\\n::1 chatgpt.com\\n"
              "0.0.0.0 www.chatgpt.com\\n::1 www.chatgpt.com\\n");
    EXPECT_EQ(makeHostsEntries({"www.claude.ai"}), "0.0.0.0 www.claude.ai\\n::1 www.claude.ai\\n");
    // Duplicates are written twice; no line feed anywhere.
    std::string twice = makeHostsEntries({"a.nl", "a.nl"});
    EXPECT_EQ(twice, makeHostsEntries({"a.nl"}) + makeHostsEntries({"a.nl"}));
    EXPECT_EQ(twice.find('\n'), std::string::npos);
    // A name with "www." inside but not at the start still gets the prefix.
    EXPECT_NE(makeHostsEntries({"mywww.nl"}).find("0.0.0.0 www.mywww.nl"), std::string::npos);

    EXPECT_EQ(hostsCountFor({}), 0);
    EXPECT_EQ(hostsCountFor({"www.a.nl", "b.nl", "b.nl"}), 6);
}

TEST(AddressRule, ColonMeansInet6) {
    EXPECT_EQ(addressRule("203.0.113.7"), "block drop quick from any to 203.0.113.7");
    EXPECT_EQ(addressRule("198.51.100.0/24"), "block drop quick from any to 198.51.100.0/24");
    EXPECT_EQ(addressRule("2001:db8::1"), "block drop quick inet6 from any to 2001:db8::1");
}

TEST(RuleSet, FixedRulesAloneAreFortyFourSortedByBytes) {
    RuleSet set = assembleRuleSet({}, {});
    EXPECT_EQ(set.count, 44);
    auto rules = lines(set.text);
    ASSERT_EQ(rules.size(), 44u);
    EXPECT_TRUE(std::is_sorted(rules.begin(), rules.end()));
    EXPECT_NE(set.text.back(), '\n');
    // "from" rules first, then "inet6", then "proto tcp", then "proto udp".
    EXPECT_EQ(rules.front(), "block drop quick from any to 104.18.26.0/24");
    EXPECT_EQ(rules[10], "block drop quick inet6 from any to 2606:4700::/32");
    EXPECT_EQ(rules[17], "block drop quick proto tcp from any to 1.0.0.1 port 443");
    EXPECT_EQ(rules.back(), "block drop quick proto udp from any to any port 853");
}

TEST(RuleSet, DuplicatesAcrossAllListsCountOnce) {
    RuleSet set = assembleRuleSet(
        {"203.0.113.7", "203.0.113.7", "2001:db8::1", "104.18.26.0/24"},
        {"block drop quick from any to 203.0.113.7", "block drop quick from any to 198.51.100.9",
         "block drop quick from any to 198.51.100.9"});
    // 44 fixed + 203.0.113.7 + 2001:db8::1 + 198.51.100.9; the /24 equals a fixed range rule.
    EXPECT_EQ(set.count, 47);
    auto rules = lines(set.text);
    EXPECT_EQ(std::set<std::string>(rules.begin(), rules.end()).size(), rules.size());
    EXPECT_TRUE(std::is_sorted(rules.begin(), rules.end()));
    EXPECT_NE(
        std::find(rules.begin(), rules.end(), "block drop quick inet6 from any to 2001:db8::1"),
        rules.end());
}

}  // namespace
}  // namespace kt
