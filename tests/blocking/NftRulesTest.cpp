#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "blocking/BlockLists.h"
#include "blocking/NftRules.h"
#include "blocking/RuleText.h"

namespace kt {
namespace {

using Row = std::pair<std::string, std::string>;

// Every fixed rule, in table order, with its nftables form.
const std::vector<Row> encryptedDnsTable = {
    {"block drop quick proto tcp from any to 1.1.1.1 port 443",
     "ip daddr 1.1.1.1 tcp dport 443 drop"},
    {"block drop quick proto udp from any to 1.1.1.1 port 443",
     "ip daddr 1.1.1.1 udp dport 443 drop"},
    {"block drop quick proto tcp from any to 1.0.0.1 port 443",
     "ip daddr 1.0.0.1 tcp dport 443 drop"},
    {"block drop quick proto udp from any to 1.0.0.1 port 443",
     "ip daddr 1.0.0.1 udp dport 443 drop"},
    {"block drop quick proto tcp from any to 8.8.8.8 port 443",
     "ip daddr 8.8.8.8 tcp dport 443 drop"},
    {"block drop quick proto udp from any to 8.8.8.8 port 443",
     "ip daddr 8.8.8.8 udp dport 443 drop"},
    {"block drop quick proto tcp from any to 8.8.4.4 port 443",
     "ip daddr 8.8.4.4 tcp dport 443 drop"},
    {"block drop quick proto udp from any to 8.8.4.4 port 443",
     "ip daddr 8.8.4.4 udp dport 443 drop"},
    {"block drop quick proto tcp from any to 9.9.9.9 port 443",
     "ip daddr 9.9.9.9 tcp dport 443 drop"},
    {"block drop quick proto udp from any to 9.9.9.9 port 443",
     "ip daddr 9.9.9.9 udp dport 443 drop"},
    {"block drop quick proto tcp from any to 149.112.112.112 port 443",
     "ip daddr 149.112.112.112 tcp dport 443 drop"},
    {"block drop quick proto udp from any to 149.112.112.112 port 443",
     "ip daddr 149.112.112.112 udp dport 443 drop"},
    {"block drop quick proto tcp from any to 104.16.248.249 port 443",
     "ip daddr 104.16.248.249 tcp dport 443 drop"},
    {"block drop quick proto udp from any to 104.16.248.249 port 443",
     "ip daddr 104.16.248.249 udp dport 443 drop"},
    {"block drop quick proto tcp from any to 104.16.249.249 port 443",
     "ip daddr 104.16.249.249 tcp dport 443 drop"},
    {"block drop quick proto udp from any to 104.16.249.249 port 443",
     "ip daddr 104.16.249.249 udp dport 443 drop"},
    {"block drop quick proto tcp from any to 104.16.132.229 port 443",
     "ip daddr 104.16.132.229 tcp dport 443 drop"},
    {"block drop quick proto tcp from any to 104.16.133.229 port 443",
     "ip daddr 104.16.133.229 tcp dport 443 drop"},
    {"block drop quick proto tcp from any to 208.67.222.222 port 443",
     "ip daddr 208.67.222.222 tcp dport 443 drop"},
    {"block drop quick proto tcp from any to 208.67.220.220 port 443",
     "ip daddr 208.67.220.220 tcp dport 443 drop"},
    {"block drop quick proto tcp from any to 94.140.14.14 port 443",
     "ip daddr 94.140.14.14 tcp dport 443 drop"},
    {"block drop quick proto tcp from any to 94.140.15.15 port 443",
     "ip daddr 94.140.15.15 tcp dport 443 drop"},
    {"block drop quick proto tcp from any to 45.90.28.0 port 443",
     "ip daddr 45.90.28.0 tcp dport 443 drop"},
    {"block drop quick proto tcp from any to 45.90.30.0 port 443",
     "ip daddr 45.90.30.0 tcp dport 443 drop"},
    // Without a family, "to any" covers IPv4 and IPv6 both, as in pf.
    {"block drop quick proto tcp from any to any port 853", "tcp dport 853 drop"},
    {"block drop quick proto udp from any to any port 853", "udp dport 853 drop"},
    {"block drop quick inet6 proto tcp from any to any port 853",
     "meta nfproto ipv6 tcp dport 853 drop"},
    {"block drop quick inet6 proto udp from any to any port 853",
     "meta nfproto ipv6 udp dport 853 drop"},
    {"block drop quick proto tcp from any to 17.253.0.0/16 port 443",
     "ip daddr 17.253.0.0/16 tcp dport 443 drop"},
};

const std::vector<Row> serviceRangeTable = {
    {"block drop quick from any to 160.79.104.0/24", "ip daddr 160.79.104.0/24 drop"},
    {"block drop quick from any to 160.79.105.0/24", "ip daddr 160.79.105.0/24 drop"},
    {"block drop quick from any to 104.18.32.0/24", "ip daddr 104.18.32.0/24 drop"},
    {"block drop quick from any to 104.18.33.0/24", "ip daddr 104.18.33.0/24 drop"},
    {"block drop quick from any to 104.18.26.0/24", "ip daddr 104.18.26.0/24 drop"},
    {"block drop quick from any to 104.18.27.0/24", "ip daddr 104.18.27.0/24 drop"},
    {"block drop quick from any to 140.82.112.0/20", "ip daddr 140.82.112.0/20 drop"},
    {"block drop quick from any to 20.201.28.0/24", "ip daddr 20.201.28.0/24 drop"},
    {"block drop quick from any to 20.200.245.0/24", "ip daddr 20.200.245.0/24 drop"},
    {"block drop quick from any to 76.76.21.0/24", "ip daddr 76.76.21.0/24 drop"},
    {"block drop quick inet6 from any to 2607:6bc0::/32", "ip6 daddr 2607:6bc0::/32 drop"},
    {"block drop quick inet6 from any to 2620:1ec::/32", "ip6 daddr 2620:1ec::/32 drop"},
    {"block drop quick inet6 from any to 2606:50c0::/32", "ip6 daddr 2606:50c0::/32 drop"},
    {"block drop quick inet6 from any to 2606:4700::/32", "ip6 daddr 2606:4700::/32 drop"},
    {"block drop quick inet6 from any to 2a06:98c1::/32", "ip6 daddr 2a06:98c1::/32 drop"},
};

std::vector<std::string> firsts(const std::vector<Row>& rows) {
    std::vector<std::string> out;
    for (const auto& row : rows) out.push_back(row.first);
    return out;
}

TEST(NftRules, EveryFixedRuleKeepsAddressFamilyProtocolAndPort) {
    // The tables above are the fixed tables, rule for rule.
    ASSERT_EQ(firsts(encryptedDnsTable), encryptedDnsRules());
    ASSERT_EQ(firsts(serviceRangeTable), serviceRangeRules());
    for (const auto* table : {&encryptedDnsTable, &serviceRangeTable})
        for (const auto& [pf, nft] : *table) EXPECT_EQ(nftRuleFor(pf), nft) << pf;
}

TEST(NftRules, AddressRulesOfBothFamilies) {
    const std::vector<Row> rows = {
        {"203.0.113.7", "ip daddr 203.0.113.7 drop"},
        {"198.51.100.0/24", "ip daddr 198.51.100.0/24 drop"},
        {"2001:db8::2", "ip6 daddr 2001:db8::2 drop"},
        {"2001:db8::/32", "ip6 daddr 2001:db8::/32 drop"},
        {"::ffff:192.0.2.1", "ip6 daddr ::ffff:192.0.2.1 drop"},
    };
    for (const auto& [address, nft] : rows)
        EXPECT_EQ(nftRuleFor(addressRule(address)), nft) << address;
    // The explicit IPv4 family, which the engine does not write but pf knows.
    EXPECT_EQ(nftRuleFor("block drop quick inet from any to 192.0.2.1"), "ip daddr 192.0.2.1 drop");
    EXPECT_EQ(nftRuleFor("block drop quick inet proto udp from any to any port 53"),
              "meta nfproto ipv4 udp dport 53 drop");
    EXPECT_EQ(nftRuleFor("block drop quick proto tcp from any to any"), "meta l4proto tcp drop");
    EXPECT_EQ(nftRuleFor("block drop quick inet6 from any to any"), "meta nfproto ipv6 drop");
}

TEST(NftRules, AnythingElseIsNotTranslated) {
    for (const char* rule : {
             "",
             "block drop quick from any to",
             "block drop from any to 192.0.2.1",
             "pass quick from any to 192.0.2.1",
             "block drop quick inet6 from any to 192.0.2.1",     // family and address differ
             "block drop quick inet from any to 2001:db8::1",    // the same the other way
             "block drop quick from any to 192.0.2.1 port 443",  // a port without a protocol
             "block drop quick proto icmp from any to 192.0.2.1",
             "block drop quick proto tcp from any to 192.0.2.1 port 0",
             "block drop quick proto tcp from any to 192.0.2.1 port 65536",
             "block drop quick proto tcp from any to 192.0.2.1 port 044",
             "block drop quick proto tcp from any to 192.0.2.1 port",
             "block drop quick from 10.0.0.1 to 192.0.2.1",
             "block drop quick from any to 192.0.2.1 extra",
             "block drop quick from any to 192.0.2.1 ",
             "block drop quick  from any to 192.0.2.1",
             "block drop quick from any to 192.0.2.1;",
             "block drop quick from any to evil.example",
             "block drop quick from any to 1.2.3.4; flush ruleset",
             "block drop quick from any to a'b",
             "block drop quick from any to 192.0.2.1\ndelete table inet filter",
         })
        EXPECT_EQ(nftRuleFor(rule), std::nullopt) << rule;
}

TEST(NftRules, RuleFileReplacesTheTableWithOneRulePerRule) {
    const RuleSet set = assembleRuleSet({"127.0.0.2", "2001:db8::2", "127.0.0.2"}, {});
    const NftRuleFile file = nftRuleFile(set.text);
    EXPECT_TRUE(file.untranslatable.empty());
    EXPECT_EQ(file.ruleCount, set.count);
    EXPECT_EQ(file.ruleCount, 46);
    EXPECT_TRUE(file.text.starts_with(
        "table inet ka_tesmar\ndelete table inet ka_tesmar\ntable inet ka_tesmar {\n"
        "  chain blocked {\n    ip daddr 104.18.26.0/24 drop\n"))
        << file.text;
    EXPECT_EQ(std::count(file.text.begin(), file.text.end(), '\n'), 3 + 2 + file.ruleCount + 8 + 1);
    EXPECT_NE(file.text.find("    ip daddr 127.0.0.2 drop\n"), std::string::npos);
    EXPECT_NE(file.text.find("    ip6 daddr 2001:db8::2 drop\n"), std::string::npos);
    EXPECT_NE(file.text.find("type filter hook output priority filter; policy accept;\n"
                             "    jump blocked\n"),
              std::string::npos);
    EXPECT_NE(file.text.find("type filter hook forward priority filter; policy accept;\n"
                             "    jump blocked\n"),
              std::string::npos);

    // Empty pieces give nothing; what cannot be translated is named.
    const NftRuleFile odd = nftRuleFile("\nblock drop quick from any to 192.0.2.1\n\nnonsense\n");
    EXPECT_EQ(odd.ruleCount, 1);
    EXPECT_EQ(odd.untranslatable, std::vector<std::string>{"nonsense"});
}

}  // namespace
}  // namespace kt
