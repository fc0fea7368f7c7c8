// The linux profile's scripts, byte for byte, and their shape.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "GoldenFile.h"
#include "blocking/ActivationPlan.h"
#include "blocking/NftRules.h"
#include "blocking/SystemProfile.h"

namespace kt {
namespace {

using testing::bashSyntaxErrors;
using testing::expectMatchesGolden;

const std::string home = "/home/leerling met spatie";

const SystemProfile& linuxProfile() {
    return *profileNamed("linux");
}

CheckedBlockData fixedReplyData() {
    std::ifstream in(std::string(KT_TEST_DATA_DIR) + "/reply.json");
    nlohmann::json reply = nlohmann::json::parse(in);
    return checkBlockData(reply["domains"].get<std::vector<std::string>>(),
                          reply["ips"].get<std::vector<std::string>>());
}

ActivationPlan fixedPlan() {
    return makeActivationPlan(fixedReplyData(),
                              {"block drop quick from any to 104.18.32.47",
                               "block drop quick inet6 from any to 2606:4700::6812:2011",
                               "block drop quick from any to 203.0.113.7"});
}

void expectScript(const std::string& golden, const std::string& script) {
    expectMatchesGolden(golden, script);
    EXPECT_EQ(bashSyntaxErrors(script), "") << golden;
    // GNU and BSD sed disagree on -i; the hosts file is rewritten through a copy.
    EXPECT_EQ(script.find("sed -i"), std::string::npos) << golden;
    for (const char* macosOnly : {"pfctl", "launchctl", "dscacheutil", "/Library", "killall"})
        EXPECT_EQ(script.find(macosOnly), std::string::npos) << golden << ": " << macosOnly;
}

TEST(LinuxScriptGolden, EveryVariant) {
    const ActivationPlan plan = fixedPlan();
    EXPECT_EQ(plan.firewallCount, 49);
    expectScript("linux-activate.sh",
                 linuxProfile().activationScript(plan.hostsEntries, plan.rulesText, home));
    const ActivationPlan withoutLookups = makeActivationPlan(fixedReplyData(), {});
    expectScript("linux-activate-no-lookup.sh",
                 linuxProfile().activationScript(withoutLookups.hostsEntries,
                                                 withoutLookups.rulesText, home));
    // Deactivation and every restore are one script: it decides from what it finds.
    const std::string restore = linuxProfile().undoCommand();
    expectScript("linux-restore.sh", restore);
    for (RestoreVariant variant :
         {RestoreVariant::Automatic, RestoreVariant::Manual, RestoreVariant::Signal})
        for (bool backup : {true, false})
            EXPECT_EQ(linuxProfile().restoreCommand(variant, backup), restore);
}

// The text between "<< 'DELIM'\n" and "\nDELIM\n".
std::string hereDocument(const std::string& script, const std::string& delimiter) {
    const std::string open = "<< '" + delimiter + "'\n";
    const std::size_t from = script.find(open);
    if (from == std::string::npos)
        return "";
    const std::size_t start = from + open.size();
    const std::size_t end = script.find("\n" + delimiter + "\n", start);
    return end == std::string::npos ? "" : script.substr(start, end + 1 - start);
}

TEST(LinuxActivationScript, OrderGuardianAndNothingOfTheHomeFolder) {
    const ActivationPlan plan = fixedPlan();
    const std::string script =
        linuxProfile().activationScript(plan.hostsEntries, plan.rulesText, "/home/x");
    // All or nothing: bookkeeping and the guardian before the hosts block and the table.
    const std::vector<std::string> steps = {"trap kt_rollback EXIT",
                                            "kt_write_backup ||",
                                            "kt_replace \"$KT_LOCK\"",
                                            "kt_replace \"$KT_GUARDIAN\" 755",
                                            "kt_replace \"$KT_HOSTS\" 644",
                                            "nft -f \"$KT_NFT.new\"",
                                            "KT_DONE=1"};
    std::size_t at = 0;
    for (const auto& step : steps) {
        const std::size_t found = script.find(step, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << step;
        at = found;
    }
    EXPECT_EQ(hereDocument(script, "NFTEOF"), nftRuleFile(plan.rulesText).text);

    // The guardian stands alone, knows the application by its lock, and
    // runs every 300 s from each start.
    const std::string guardian =
        hereDocument(script, "PRELUDEEOF") + hereDocument(script, "GUARDIANEOF");
    EXPECT_EQ(bashSyntaxErrors(guardian), "");
    EXPECT_NE(guardian.find("flock -n -x \"$KT_APP_LOCK\" true"), std::string::npos);
    EXPECT_EQ(guardian.find("pgrep"), std::string::npos);
    EXPECT_NE(hereDocument(script, "TIMEREOF").find("OnBootSec=0\nOnUnitActiveSec=300\n"),
              std::string::npos);

    // Root never goes into the student's home or closes anyone's browser.
    for (const char* part : {"/home/x", "rm -rf", "pkill", ".cache"})
        EXPECT_EQ(script.find(part), std::string::npos) << part;
}

TEST(LinuxActivationScript, GuardianUnitsPassSystemdsOwnCheck) {
    if (testing::commandOutput("command -v systemd-analyze").empty())
        GTEST_SKIP() << "systemd-analyze is not installed";
    const std::string script = linuxProfile().activationScript("", "", "/home/x");
    char pattern[] = "/tmp/kt-units.XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    // The guardian script is not installed here; any program stands in for it.
    std::string service = hereDocument(script, "SERVICEEOF");
    service.replace(service.find("/usr/local/bin/ka-tesmar-guardian.sh"),
                    std::string("/usr/local/bin/ka-tesmar-guardian.sh").size(), "/bin/true");
    std::ofstream(dir + "/ka-tesmar-guardian.service") << service;
    std::ofstream(dir + "/ka-tesmar-guardian.timer") << hereDocument(script, "TIMEREOF");
    const std::string verdict =
        testing::commandOutput("systemd-analyze verify '" + dir + "/ka-tesmar-guardian.timer' '" +
                               dir + "/ka-tesmar-guardian.service' 2>&1; echo status $?");
    std::filesystem::remove_all(dir);
    EXPECT_EQ(verdict, "status 0\n");
}

TEST(LinuxActivationScript, UntranslatableRuleStopsBeforeAnyChange) {
    const std::string script = linuxProfile().activationScript("0.0.0.0 a.example\\n",
                                                               "block drop quick from any to "
                                                               "192.0.2.1\nblock it's odd",
                                                               "/home/x");
    EXPECT_EQ(
        script,
        "#!/bin/bash\necho 'Firewallregel niet te vertalen: block it'\\''s odd' >&2\nexit 1\n");
    const std::string ran = testing::commandOutput("bash -c " + std::string("'") +
                                                   singleQuoteEscaped(script) + "' 2>&1; echo $?");
    EXPECT_EQ(ran, "Firewallregel niet te vertalen: block it's odd\n1\n");
}

}  // namespace
}  // namespace kt
