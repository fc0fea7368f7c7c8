// What blocking writes: every script of every profile, byte for byte (to
// accept a change, run the test and move the .fail files it writes over the
// golden files), and the hosts entries and firewall rules beyond that. No
// test here looks up addresses: that would send DNS queries off this machine.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

#include "SandboxRun.h"
#include "blocking/ActivationPlan.h"
#include "blocking/NftTable.h"
#include "blocking/SystemProfile.h"
#include "platform/system/PosixProcessRunner.h"

namespace kt {

void PrintTo(const HostsEntry& entry, std::ostream* out) {
    *out << entry.address << " " << entry.name << (entry.addedWww ? " (added)" : "");
}

namespace {

using testing::runCommand;

ActivationPlan replyPlan(const std::vector<std::string>& lookedUp) {
    std::ifstream in(std::string(KT_TEST_DATA_DIR) + "/reply.json");
    const nlohmann::json reply = nlohmann::json::parse(in);
    return makeActivationPlan(checkBlockData(reply["domains"].get<std::vector<std::string>>(),
                                             reply["ips"].get<std::vector<std::string>>()),
                              lookedUp);
}

std::string activation(const SystemProfile& profile, const std::vector<std::string>& lookedUp) {
    const std::string home = profile.name() == "linux" ? "/home" : "/Users";
    return profile.activationScript(replyPlan(lookedUp), home + "/leerling met spatie");
}

// bash reads the script from a file: no text of the code under test ever
// becomes part of a command line here, whatever its quoting does.
std::string bashSyntaxErrors(const std::string& script) {
    const testing::ScratchDir scratch("kt-syntax");
    std::ofstream(scratch.in("script.sh"), std::ios::binary) << script;
    return runCommand("bash -n '" + scratch.in("script.sh") + "' 2>&1").output;
}

// The script matches golden/<golden> byte for byte, is valid bash and is what
// ka-tesmar-admin prints for `adminArguments` (when given); a difference is
// shown as diff's first lines. On a mismatch with the golden file the script
// stays in <golden>.fail beside it (move it over the golden file to accept it).
void expectGolden(const std::string& golden, const std::string& script,
                  const std::string& adminArguments = "") {
    SCOPED_TRACE(golden + " " + adminArguments);
    const std::string path = KT_GOLDEN_DIR "/" + golden;
    auto differenceFrom = [&](const std::string& command) {
        return runCommand(command + " 2>&1 | diff '" + path + "' - 2>&1 | head -8").output;
    };
    std::ofstream(path + ".fail", std::ios::binary) << script;
    const std::string difference = differenceFrom("cat '" + path + ".fail'");
    if (difference.empty())
        std::remove((path + ".fail").c_str());
    EXPECT_TRUE(difference.empty()) << difference << "actual text written to " << path << ".fail";
    EXPECT_EQ(bashSyntaxErrors(script), "");
    const std::string admin = "'" KT_ADMIN_PATH "' script " + adminArguments;
    const std::string adminDifference = adminArguments.empty() ? "" : differenceFrom(admin);
    EXPECT_TRUE(adminDifference.empty()) << "ka-tesmar-admin prints otherwise:\n"
                                         << adminDifference;
}

const std::string replyFile = "--reply '" KT_TEST_DATA_DIR "/reply.json'";

TEST(ScriptGolden, EveryProfileAndVariant) {
    const std::string reply = " " + replyFile + " --no-lookup --home ";
    const SystemProfile &macos = *profileNamed("macos"), &linux = *profileNamed("linux");
    expectGolden("activate.sh", activation(macos, {"203.0.113.7", "104.18.32.47", "160.79.104.10",
                                                   "2606:4700::6812:2011"}));
    expectGolden("activate-no-lookup.sh", activation(macos, {}),
                 "activate --profile macos" + reply + "'/Users/leerling met spatie'");
    expectGolden("deactivate.sh", macos.undoCommand(), "deactivate --profile macos");
    // A quote in the home folder stays quoted.
    const std::string quoted = macos.activationScript({}, "/Users/o'brien");
    EXPECT_NE(quoted.find("rm -rf '/Users/o'\\''brien/Library/Application Support/Cursor/Cache' "),
              std::string::npos);
    EXPECT_EQ(bashSyntaxErrors(quoted), "");
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
    expectGolden("linux-activate.sh", linux.activationScript(plan, {}));
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

TEST(Rules, HostsEntriesAddTheWwwFormUnlessTheNameStartsWithIt) {
    EXPECT_EQ(hostsEntriesFor({"www.claude.ai", "mywww.nl"}),
              (std::vector<HostsEntry>{{"0.0.0.0", "www.claude.ai"},
                                       {"::1", "www.claude.ai"},
                                       {"0.0.0.0", "mywww.nl"},
                                       {"::1", "mywww.nl"},
                                       {"0.0.0.0", "www.mywww.nl", true},
                                       {"::1", "www.mywww.nl", true}}));
    EXPECT_EQ(hostsCountOf(hostsEntriesFor({"www.a.nl", "b.nl", "b.nl"})), 6);
}

// Each form of rule as each profile writes it.
TEST(Rules, EachProfileRendersEachForm) {
    const std::tuple<FirewallRule, std::string, std::string> rows[] = {
        {blockAddress("203.0.113.7"), "from any to 203.0.113.7", "ip daddr 203.0.113.7 drop"},
        {blockAddress("2001:db8::/32"), "inet6 from any to 2001:db8::/32",
         "ip6 daddr 2001:db8::/32 drop"},
        {blockAddress("::ffff:192.0.2.1"), "inet6 from any to ::ffff:192.0.2.1",
         "ip6 daddr ::ffff:192.0.2.1 drop"},
        {blockPort(Protocol::Udp, 443, "192.0.2.1"), "proto udp from any to 192.0.2.1 port 443",
         "ip daddr 192.0.2.1 udp dport 443 drop"},
        {blockPortAnywhere(IpFamily::Both, Protocol::Tcp, 853),
         "proto tcp from any to any port 853", "tcp dport 853 drop"},
        {blockPortAnywhere(IpFamily::IPv4, Protocol::Udp, 53),
         "inet proto udp from any to any port 53", "meta nfproto ipv4 udp dport 53 drop"},
        {blockPortAnywhere(IpFamily::IPv6, Protocol::Tcp, 853),
         "inet6 proto tcp from any to any port 853", "meta nfproto ipv6 tcp dport 853 drop"},
        {{IpFamily::Both, Protocol::Tcp, 0, ""},
         "proto tcp from any to any",
         "meta l4proto tcp drop"},
        {{IpFamily::IPv6, Protocol::Any, 0, ""},
         "inet6 from any to any",
         "meta nfproto ipv6 drop"}};
    for (const auto& [rule, pf, nft] : rows) {
        EXPECT_EQ(packetFilterRule(rule), "block drop quick " + pf);
        EXPECT_EQ(nftRule(rule), nft);
    }
}

// The real nft, in a network namespace of its own: duplicates and overlapping
// networks load (also among the protected addresses, and an address both
// protected and blocked), and loading the file again replaces the table.
TEST(Rules, NftFileLoadsTwiceWithDuplicatesAndOverlaps) {
    if (std::system("command -v nft >/dev/null && unshare --net true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs nft and unshare --net (root)";
    const ActivationPlan plan = makeActivationPlan(
        checkBlockData({}, {"10.0.0.0/8", "10.1.0.0/16", "10.1.2.3", "2001:db8::/32", "2001:db8::2",
                            "::ffff:192.0.2.1", "104.18.32.7"}),
        {"104.18.32.7", "2606:4700::1"});
    const std::string path = ::testing::TempDir() + "ka_tesmar_test.nft";
    std::ofstream(path) << nftTableFile(plan.firewallRules,
                                        {"104.18.32.7", "2606:4700::1", "104.18.32.7"});
    const int status = std::system(("unshare --net sh -c 'nft -f " + path + " && nft -f " + path +
                                    " && nft list set inet ka_tesmar v4 | grep -q 10.0.0.0/8'")
                                       .c_str());
    std::remove(path.c_str());
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace kt
