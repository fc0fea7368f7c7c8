// Every script of every profile, byte for byte. To accept a change, run the
// test and move the .fail files it writes over the golden files.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>

#include "GoldenFile.h"
#include "blocking/ActivationPlan.h"
#include "blocking/RuleText.h"
#include "blocking/SystemProfile.h"

namespace kt {
namespace {

using testing::bashSyntaxErrors;

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

std::function<std::string(const SystemProfile&)> restore(RestoreVariant variant, bool backup) {
    return [=](const SystemProfile& p) { return p.restoreCommand(variant, backup); };
}

// Each row also through ka-tesmar-admin where it has arguments for it.
TEST(ScriptGolden, EveryProfileAndVariant) {
    using Make = std::function<std::string(const SystemProfile&)>;
    const Make undo = [](const SystemProfile& p) { return p.undoCommand(); };
    const std::string reply = " --reply '" KT_TEST_DATA_DIR "/reply.json' --no-lookup --home ";
    const struct {
        const char* profile;
        const char* golden;
        Make script;
        std::string admin;
    } rows[] = {
        {"macos", "activate.sh",
         [](auto& p) {
             return activation(
                 p, {"203.0.113.7", "104.18.32.47", "160.79.104.10", "2606:4700::6812:2011"});
         },
         ""},
        {"macos", "activate-no-lookup.sh", [](auto& p) { return activation(p, {}); },
         "activate --profile macos" + reply + "'/Users/leerling met spatie'"},
        {"macos", "deactivate.sh", undo, "deactivate --profile macos"},
        {"macos", "restore-automatic-backup-present.sh", restore(RestoreVariant::Automatic, true),
         "restore --variant automatic --profile macos --backup present"},
        {"macos", "restore-automatic-backup-absent.sh", restore(RestoreVariant::Automatic, false),
         "restore --variant automatic --profile macos --backup absent"},
        {"macos", "restore-manual-backup-present.sh", restore(RestoreVariant::Manual, true),
         "restore --variant manual --profile macos --backup present"},
        {"macos", "restore-manual-backup-absent.sh", restore(RestoreVariant::Manual, false),
         "restore --variant manual --profile macos --backup absent"},
        {"macos", "restore-signal.sh", restore(RestoreVariant::Signal, true),
         "restore --profile macos --variant signal"},
        {"macos", "restore-signal.sh", restore(RestoreVariant::Signal, false),
         "restore --variant signal --profile macos --backup absent"},
        {"linux", "linux-activate.sh",
         [](auto& p) {
             return activation(p, {"104.18.32.47", "2606:4700::6812:2011"});
         },
         ""},
        {"linux", "linux-activate-no-lookup.sh", [](auto& p) { return activation(p, {}); },
         "activate --profile linux" + reply + "'/home/leerling met spatie'"},
        // On linux one script decides from what it finds.
        {"linux", "linux-restore.sh", undo, "deactivate --profile linux"},
        {"linux", "linux-restore.sh", restore(RestoreVariant::Automatic, true), ""},
        {"linux", "linux-restore.sh", restore(RestoreVariant::Automatic, false), ""},
        {"linux", "linux-restore.sh", restore(RestoreVariant::Manual, true),
         "restore --variant manual --profile linux --backup present"},
        {"linux", "linux-restore.sh", restore(RestoreVariant::Manual, false), ""},
        {"linux", "linux-restore.sh", restore(RestoreVariant::Signal, true), ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.profile) + " " + row.golden);
        const std::string script = row.script(*profileNamed(row.profile));
        testing::expectMatchesGolden(row.golden, script);
        EXPECT_EQ(bashSyntaxErrors(script), "");
        const std::string admin = "'" KT_ADMIN_PATH "' script " + row.admin + " 2>&1";
        if (!row.admin.empty()) {
            EXPECT_EQ(testing::firstDifference(script, testing::commandOutput(admin)), "") << admin;
        }
    }
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
