// Every script of every profile, byte for byte. To accept a change, run the
// test and move the .fail files it writes over the golden files.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "SandboxRun.h"
#include "blocking/ActivationPlan.h"
#include "blocking/RuleText.h"
#include "blocking/SystemProfile.h"

namespace kt {
namespace {

using testing::commandOutput;

std::string activation(const SystemProfile& profile, const std::vector<std::string>& lookedUp) {
    std::ifstream in(std::string(KT_TEST_DATA_DIR) + "/reply.json");
    const nlohmann::json reply = nlohmann::json::parse(in);
    std::vector<std::string> rules;
    for (const auto& address : lookedUp) rules.push_back(addressRule(address));
    const ActivationPlan plan =
        makeActivationPlan(checkBlockData(reply["domains"].get<std::vector<std::string>>(),
                                          reply["ips"].get<std::vector<std::string>>()),
                           rules);
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

std::string bashSyntaxErrors(const std::string& script) {
    return commandOutput("bash -n -c '" + singleQuoteEscaped(script) + "' 2>&1");
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
    expectGolden("linux-activate.sh", activation(linux, {"104.18.32.47", "2606:4700::6812:2011"}));
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

}  // namespace
}  // namespace kt
