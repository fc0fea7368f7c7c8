// Hosts entries and firewall rules beyond what the golden scripts pin.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "blocking/NftRules.h"
#include "blocking/RuleText.h"

namespace kt {
namespace {

TEST(Rules, HostsEntriesAddTheWwwFormUnlessTheNameStartsWithIt) {
    EXPECT_EQ(makeHostsEntries({"chatgpt.com", "www.claude.ai", "mywww.nl"}),
              "0.0.0.0 chatgpt.com\\n::1 chatgpt.com\\n0.0.0.0 www.chatgpt.com\\n::1 "
              "www.chatgpt.com\\n0.0.0.0 www.claude.ai\\n::1 www.claude.ai\\n0.0.0.0 mywww.nl\\n"
              "::1 mywww.nl\\n0.0.0.0 www.mywww.nl\\n::1 www.mywww.nl\\n");
    EXPECT_EQ(hostsCountFor({"www.a.nl", "b.nl", "b.nl"}), 6);
}

TEST(Rules, NftablesFormsAndWhatIsNotTranslated) {
    const std::pair<std::string, std::string> translated[] = {
        {addressRule("203.0.113.7"), "ip daddr 203.0.113.7 drop"},
        {addressRule("2001:db8::/32"), "ip6 daddr 2001:db8::/32 drop"},
        {addressRule("::ffff:192.0.2.1"), "ip6 daddr ::ffff:192.0.2.1 drop"},
        {"block drop quick inet from any to 192.0.2.1", "ip daddr 192.0.2.1 drop"},
        {"block drop quick inet proto udp from any to any port 53",
         "meta nfproto ipv4 udp dport 53 drop"},
        {"block drop quick inet6 proto tcp from any to any port 853",
         "meta nfproto ipv6 tcp dport 853 drop"},
        {"block drop quick proto tcp from any to any", "meta l4proto tcp drop"},
        {"block drop quick inet6 from any to any", "meta nfproto ipv6 drop"}};
    for (const auto& [pf, nft] : translated) EXPECT_EQ(nftRuleFor(pf), nft) << pf;
    // clang-format off
    for (const std::string rule : {
             "from any to", "inet6 from any to 192.0.2.1", "inet from any to 2001:db8::1",
             "from any to 192.0.2.1 port 443", "proto icmp from any to 192.0.2.1",
             "proto tcp from any to 192.0.2.1 port 0", "proto tcp from any to 192.0.2.1 port 65536",
             "proto tcp from any to 192.0.2.1 port 044", "proto tcp from any to 192.0.2.1 port",
             "from 10.0.0.1 to 192.0.2.1", "from any to 192.0.2.1 extra", "from any to 192.0.2.1 ",
             " from any to 192.0.2.1", "from any to 192.0.2.1;", "from any to evil.example",
             "from any to 1.2.3.4; flush ruleset", "from any to a'b",
             "from any to 192.0.2.1\ndelete table inet filter"})
        // clang-format on
        EXPECT_EQ(nftRuleFor("block drop quick " + rule), std::nullopt) << rule;
    for (const char* rule :
         {"", "block drop from any to 192.0.2.1", "pass quick from any to 192.0.2.1"})
        EXPECT_EQ(nftRuleFor(rule), std::nullopt) << rule;
    const NftRuleFile odd = nftRuleFile("\nblock drop quick from any to 192.0.2.1\n\nnonsense\n");
    EXPECT_EQ(odd.ruleCount, 1);
    EXPECT_EQ(odd.untranslatable, std::vector<std::string>{"nonsense"});
}

// The real nft, in a network namespace of its own: duplicates and overlapping
// networks load, and loading the file again replaces the table.
TEST(Rules, NftFileLoadsTwiceWithDuplicatesAndOverlaps) {
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
