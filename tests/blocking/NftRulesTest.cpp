#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

TEST(NftRules, RuleFileKeepsTheAddressesInOneSetPerFamilyProtocolAndPort) {
    const RuleSet set = assembleRuleSet({"127.0.0.2", "2001:db8::2", "127.0.0.2"}, {});
    const NftRuleFile file = nftRuleFile(set.text);
    EXPECT_TRUE(file.untranslatable.empty());
    EXPECT_EQ(file.ruleCount, set.count);
    EXPECT_EQ(file.ruleCount, 46);
    EXPECT_TRUE(file.text.starts_with(
        "table inet ka_tesmar\ndelete table inet ka_tesmar\ntable inet ka_tesmar {\n"
        "  set v4 {\n    type ipv4_addr; flags interval; auto-merge;\n    elements = {\n"
        "      104.18.26.0/24,\n"))
        << file.text;
    const std::string chain = file.text.substr(file.text.find("  chain blocked {\n"));
    EXPECT_TRUE(
        chain.starts_with("  chain blocked {\n"
                          "    ip daddr @v4 drop\n"
                          "    ip6 daddr @v6 drop\n"
                          "    ip daddr @v4_tcp_443 tcp dport 443 drop\n"
                          "    ip daddr @v4_udp_443 udp dport 443 drop\n"
                          "    meta nfproto ipv6 tcp dport 853 drop\n"))
        << chain.substr(0, 300);
    // 4 sets of addresses and the 4 rules on port 853 without one.
    EXPECT_EQ(std::count(chain.begin(), chain.end(), '\n'), 2 + 4 + 4 + 8 + 1);
    EXPECT_NE(file.text.find("      127.0.0.2,\n"), std::string::npos);
    EXPECT_NE(file.text.find("      2001:db8::2,\n"), std::string::npos);
    for (const char* hook : {"output", "forward"})
        EXPECT_NE(file.text.find("    type filter hook " + std::string(hook) +
                                 " priority filter; policy accept;\n    jump blocked\n"),
                  std::string::npos)
            << hook;

    // Empty pieces give nothing; what cannot be translated is named.
    const NftRuleFile odd = nftRuleFile("\nblock drop quick from any to 192.0.2.1\n\nnonsense\n");
    EXPECT_EQ(odd.ruleCount, 1);
    EXPECT_EQ(odd.untranslatable, std::vector<std::string>{"nonsense"});
}

// The real nft, in a network namespace of its own: duplicates and overlapping
// networks load, and loading the file again replaces the table.
TEST(NftRules, RuleFileLoadsTwiceWithDuplicatesAndOverlaps) {
    if (std::system("command -v nft >/dev/null && unshare --net true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs nft and unshare --net (root)";
    const RuleSet set = assembleRuleSet({"10.0.0.0/8", "10.1.0.0/16", "10.1.2.3", "2001:db8::/32",
                                         "2001:db8::2", "::ffff:192.0.2.1", "104.18.32.7"},
                                        {addressRule("104.18.32.7"), addressRule("2606:4700::1")});
    const std::string path = ::testing::TempDir() + "ka_tesmar_test.nft";
    std::ofstream(path) << nftRuleFile(set.text).text;
    const int status = std::system(("unshare --net sh -c 'nft -f " + path + " && nft -f " + path +
                                    " && nft list set inet ka_tesmar v4 | grep -q 10.0.0.0/8'")
                                       .c_str());
    std::remove(path.c_str());
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace kt
