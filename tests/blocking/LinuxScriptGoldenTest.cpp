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
    expectScript("linux-deactivate.sh", linuxProfile().undoCommand());
    expectScript("linux-restore-automatic-backup-present.sh",
                 linuxProfile().restoreCommand(RestoreVariant::Automatic, true));
    expectScript("linux-restore-automatic-backup-absent.sh",
                 linuxProfile().restoreCommand(RestoreVariant::Automatic, false));
    expectScript("linux-restore-manual-backup-present.sh",
                 linuxProfile().restoreCommand(RestoreVariant::Manual, true));
    expectScript("linux-restore-manual-backup-absent.sh",
                 linuxProfile().restoreCommand(RestoreVariant::Manual, false));
    expectScript("linux-restore-signal.sh",
                 linuxProfile().restoreCommand(RestoreVariant::Signal, true));
    EXPECT_EQ(linuxProfile().restoreCommand(RestoreVariant::Signal, false),
              linuxProfile().restoreCommand(RestoreVariant::Signal, true));
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

TEST(LinuxActivationScript, ShapeAndEdgeCases) {
    const ActivationPlan plan = fixedPlan();
    const std::string script =
        linuxProfile().activationScript(plan.hostsEntries, plan.rulesText, "/home/x");
    EXPECT_TRUE(
        script.starts_with("#!/bin/bash\nset -e\nmkdir -p '/var/lib/ka-tesmar'\n"
                           "if [ ! -f '/var/lib/ka-tesmar/hosts_backup' ]; then cp /etc/hosts "
                           "'/var/lib/ka-tesmar/hosts_backup'; fi\necho 'active' > "
                           "'/var/lib/ka-tesmar/active.lock'\n"));
    EXPECT_TRUE(script.ends_with("echo 'OK'"));

    // The rule file holds every rule of the set, and nft loads it in one go.
    const std::string nft = hereDocument(script, "NFTEOF");
    EXPECT_EQ(nft, nftRuleFile(plan.rulesText).text);
    EXPECT_EQ(nftRuleFile(plan.rulesText).ruleCount, plan.firewallCount);
    EXPECT_NE(script.find("NFTEOF\nnft -f '/var/lib/ka-tesmar/ka_tesmar.nft'; "),
              std::string::npos);

    // The guardian has the same logic as the macOS one, with this system's tools.
    const std::string guardian = hereDocument(script, "GUARDIANEOF");
    EXPECT_EQ(std::count(guardian.begin(), guardian.end(), '\n'), 20);
    for (const char* part :
         {"pgrep -f 'Ka.Tesmar'", "pgrep -f 'Ka_Tesmar'", "if [ -f \"$LOCK_FILE\" ]",
          "cp \"$BACKUP_FILE\" /etc/hosts && rm -f \"$BACKUP_FILE\"",
          "nft delete table inet ka_tesmar", "rm -f \"$BACKUP_DIR/ka_tesmar.nft\" \"$LOCK_FILE\"",
          "resolvectl flush-caches"})
        EXPECT_NE(guardian.find(part), std::string::npos) << part;
    EXPECT_EQ(bashSyntaxErrors(guardian), "");
    EXPECT_EQ(guardian.find("systemctl"), std::string::npos) << "it never removes itself";

    const std::string timer = hereDocument(script, "TIMEREOF");
    EXPECT_NE(timer.find("OnBootSec=0\nOnUnitInactiveSec=300\n"), std::string::npos);
    EXPECT_NE(timer.find("WantedBy=timers.target\n"), std::string::npos);
    EXPECT_NE(
        hereDocument(script, "SERVICEEOF").find("ExecStart=/usr/local/bin/ka-tesmar-guardian.sh\n"),
        std::string::npos);

    // No domains: the block is only the empty line and the two markers.
    EXPECT_NE(linuxProfile()
                  .activationScript("", plan.rulesText, "/home/x")
                  .find("printf '%b' '\\n# Ka Tesmar Start\\n# Ka Tesmar End' >> /etc/hosts; "),
              std::string::npos);

    // A home folder holding a quote stays one quoted word.
    const std::string quoted = linuxProfile().activationScript("", "", "/home/o'brien");
    EXPECT_NE(quoted.find("rm -rf '/home/o'\\''brien/.config/Cursor/Cache' 2>/dev/null; "),
              std::string::npos);
    EXPECT_NE(quoted.find("rm -rf '/home/o'\\''brien/.cache/mozilla/firefox' 2>/dev/null; "),
              std::string::npos);
    EXPECT_EQ(bashSyntaxErrors(quoted), "");
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
    EXPECT_EQ(script,
              "#!/bin/bash\necho 'Firewallregel niet te vertalen: block it'\\''s odd' >&2\nexit 1");
    const std::string ran = testing::commandOutput("bash -c " + std::string("'") +
                                                   singleQuoteEscaped(script) + "' 2>&1; echo $?");
    EXPECT_EQ(ran, "Firewallregel niet te vertalen: block it's odd\n1\n");
}

}  // namespace
}  // namespace kt
