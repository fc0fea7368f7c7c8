// What blocking writes: every script of every profile, byte for byte (to
// accept a change, run the test and move the .fail files it writes over the
// golden files), and the hosts entries and firewall rules beyond that.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "SandboxRun.h"
#include "blocking/ActivationPlan.h"
#include "blocking/LinuxProfile.h"
#include "blocking/NftRules.h"
#include "blocking/RuleText.h"
#include "blocking/SystemProfile.h"

namespace kt {
namespace {

using testing::commandOutput;

ActivationPlan replyPlan(const std::vector<std::string>& lookedUp) {
    std::ifstream in(std::string(KT_TEST_DATA_DIR) + "/reply.json");
    const nlohmann::json reply = nlohmann::json::parse(in);
    std::vector<std::string> rules;
    for (const auto& address : lookedUp) rules.push_back(addressRule(address));
    return makeActivationPlan(checkBlockData(reply["domains"].get<std::vector<std::string>>(),
                                             reply["ips"].get<std::vector<std::string>>()),
                              rules);
}

std::string activation(const SystemProfile& profile, const std::vector<std::string>& lookedUp) {
    const ActivationPlan plan = replyPlan(lookedUp);
    const std::string home = profile.name() == "linux" ? "/home" : "/Users";
    return profile.activationScript(plan.hostsEntries, plan.rulesText,
                                    home + "/leerling met spatie");
}

// The first line where the two texts differ, from each; "" when they are equal.
std::string firstDifference(const std::string& expected, const std::string& actual) {
    const auto at = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    if (at.first == expected.end() && at.second == actual.end())
        return "";
    auto lineAround = [](const std::string& text, std::string::const_iterator at) {
        const auto start = std::find(std::make_reverse_iterator(at), text.rend(), '\n').base();
        return "\"" + std::string(start, std::find(at, text.end(), '\n')) + "\"\n";
    };
    return "first difference at line " +
           std::to_string(1 + std::count(expected.begin(), at.first, '\n')) +
           "\nexpected: " + lineAround(expected, at.first) +
           "actual:   " + lineAround(actual, at.second);
}

// Compares `actual` byte for byte with golden/<name>. On a mismatch it writes
// <name>.fail beside the golden file (move it over the golden file to accept
// it) and fails with the first differing line.
void expectMatchesGolden(const std::string& name, const std::string& actual) {
    const std::string path = KT_GOLDEN_DIR "/" + name, golden = testing::fileText(path);
    if (golden == actual && !actual.empty()) {
        std::remove((path + ".fail").c_str());
        return;
    }
    std::ofstream(path + ".fail", std::ios::binary) << actual;
    ADD_FAILURE() << "golden file " << name << " differs; actual text written to " << path
                  << ".fail\n"
                  << firstDifference(golden, actual);
}

// bash reads the script from a file: no text of the code under test ever
// becomes part of a command line here, whatever its quoting does.
std::string bashSyntaxErrors(const std::string& script) {
    const testing::ScratchDir scratch("kt-syntax");
    std::ofstream(scratch.path + "/script.sh", std::ios::binary) << script;
    return commandOutput("bash -n '" + scratch.path + "/script.sh' 2>&1");
}

// The script matches its golden file, is valid bash and is what
// ka-tesmar-admin prints for `adminArguments` (when given).
void expectGolden(const std::string& golden, const std::string& script,
                  const std::string& adminArguments = "") {
    SCOPED_TRACE(golden + " " + adminArguments);
    expectMatchesGolden(golden, script);
    EXPECT_EQ(bashSyntaxErrors(script), "");
    const std::string admin = "'" KT_ADMIN_PATH "' script " + adminArguments + " 2>&1";
    EXPECT_EQ(adminArguments.empty() ? "" : firstDifference(script, commandOutput(admin)), "");
}

TEST(ScriptGolden, EveryProfileAndVariant) {
    const std::string reply = " --reply '" KT_TEST_DATA_DIR "/reply.json' --no-lookup --home ";
    const SystemProfile &macos = *profileNamed("macos"), &linux = *profileNamed("linux");
    expectGolden("activate.sh", activation(macos, {"203.0.113.7", "104.18.32.47", "160.79.104.10",
                                                   "2606:4700::6812:2011"}));
    expectGolden("activate-no-lookup.sh", activation(macos, {}),
                 "activate --profile macos" + reply + "'/Users/leerling met spatie'");
    expectGolden("deactivate.sh", macos.undoCommand(), "deactivate --profile macos");
    for (const auto variant : {RestoreVariant::Automatic, RestoreVariant::Manual})
        for (const std::string backup : {"present", "absent"}) {
            const std::string name = variant == RestoreVariant::Automatic ? "automatic" : "manual";
            expectGolden("restore-" + name + "-backup-" + backup + ".sh",
                         macos.restoreCommand(variant, backup == "present"),
                         "restore --variant " + name + " --profile macos --backup " + backup);
        }
    expectGolden("restore-signal.sh", macos.restoreCommand(RestoreVariant::Signal, true),
                 "restore --profile macos --variant signal");
    expectGolden("restore-signal.sh", macos.restoreCommand(RestoreVariant::Signal, false),
                 "restore --variant signal --profile macos --backup absent");
    // As the root helper runs it: the class service (behind a network the
    // fixed rules drop) and a name server accepted before every drop.
    ActivationPlan plan = replyPlan({"104.18.32.47", "2606:4700::6812:2011"});
    plan.protectedAddresses = {"76.76.21.9", "2606:4700::9", "192.0.2.53"};
    expectGolden("linux-activate.sh", LinuxProfile().helperActivationScript(plan));
    expectGolden("linux-activate-no-lookup.sh", activation(linux, {}),
                 "activate --profile linux" + reply + "'/home/leerling met spatie'");
    // On linux one script decides from what it finds.
    expectGolden("linux-restore.sh", linux.undoCommand(), "deactivate --profile linux");
    expectGolden("linux-restore.sh", linux.restoreCommand(RestoreVariant::Manual, true),
                 "restore --variant manual --profile linux --backup present");
    for (const auto variant :
         {RestoreVariant::Automatic, RestoreVariant::Manual, RestoreVariant::Signal})
        for (bool backup : {true, false})
            expectGolden("linux-restore.sh", linux.restoreCommand(variant, backup));
}

TEST(ScriptGolden, QuotesInTheHomeFolderAndRuleTextStayQuoted) {
    const std::string script =
        profileNamed("macos")->activationScript("", "a\n\nb'c\n", "/Users/o'brien");
    EXPECT_NE(script.find("rm -f /etc/pf.anchors/ka.tesmar; echo 'a' >> /etc/pf.anchors/ka.tesmar; "
                          "echo 'b'\\''c' >> /etc/pf.anchors/ka.tesmar; grep -q"),
              std::string::npos);
    EXPECT_NE(script.find("rm -rf '/Users/o'\\''brien/Library/Application Support/Cursor/Cache' "),
              std::string::npos);
    EXPECT_EQ(bashSyntaxErrors(script), "");
    // A rule nftables cannot take stops the linux script before any change.
    EXPECT_EQ(
        profileNamed("linux")->activationScript("", "block it's odd", "/home/x"),
        "#!/bin/bash\necho 'Firewallregel niet te vertalen: block it'\\''s odd' >&2\nexit 1\n");
}

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
// networks load (also among the protected addresses, and an address both
// protected and blocked), and loading the file again replaces the table.
TEST(Rules, NftFileLoadsTwiceWithDuplicatesAndOverlaps) {
    if (std::system("command -v nft >/dev/null && unshare --net true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs nft and unshare --net (root)";
    const RuleSet set = assembleRuleSet({"10.0.0.0/8", "10.1.0.0/16", "10.1.2.3", "2001:db8::/32",
                                         "2001:db8::2", "::ffff:192.0.2.1", "104.18.32.7"},
                                        {addressRule("104.18.32.7"), addressRule("2606:4700::1")});
    const std::string path = ::testing::TempDir() + "ka_tesmar_test.nft";
    std::ofstream(path)
        << nftRuleFile(set.text, {"104.18.32.7", "2606:4700::1", "104.18.32.7"}).text;
    const int status = std::system(("unshare --net sh -c 'nft -f " + path + " && nft -f " + path +
                                    " && nft list set inet ka_tesmar v4 | grep -q 10.0.0.0/8'")
                                       .c_str());
    std::remove(path.c_str());
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace kt
