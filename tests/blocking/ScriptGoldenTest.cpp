#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "FakeProcessRunner.h"
#include "GoldenFile.h"
#include "ManualWorkers.h"
#include "blocking/ActivationPlan.h"
#include "blocking/BlockLists.h"
#include "blocking/NameResolution.h"
#include "blocking/SystemProfile.h"

namespace kt {
namespace {

using testing::bashSyntaxErrors;
using testing::expectMatchesGolden;

const std::string home = "/Users/leerling met spatie";

CheckedBlockData fixedReplyData() {
    std::ifstream in(std::string(KT_TEST_DATA_DIR) + "/reply.json");
    nlohmann::json reply = nlohmann::json::parse(in);
    return checkBlockData(reply["domains"].get<std::vector<std::string>>(),
                          reply["ips"].get<std::vector<std::string>>());
}

const SystemProfile& macos() {
    return *profileNamed("macos");
}

void expectScript(const std::string& golden, const std::string& script) {
    expectMatchesGolden(golden, script);
    EXPECT_EQ(bashSyntaxErrors(script), "") << golden;
}

TEST(ScriptGolden, ActivationWithLookedUpAddresses) {
    CheckedBlockData data = fixedReplyData();
    testing::FakeProcessRunner dig;
    dig.setHandler([](const ProcessRequest& r) {
        const std::string& host = r.arguments[3];
        if (r.arguments[4] == "AAAA")
            return testing::FakeProcessRunner::exited(
                0, host == "chatgpt.com" ? "2606:4700::6812:2011\n" : "");
        if (host == "claude.ai")
            return testing::FakeProcessRunner::exited(0, "160.79.104.10\n");
        // Every cursor.sh host answers the same two addresses: one rule each after assembly.
        return testing::FakeProcessRunner::exited(0, "cname.example.\n203.0.113.7\n104.18.32.47\n");
    });
    testing::ManualWorkers workers;
    LookupResult found;
    lookUpAddressRules(selectHostsToLookUp(aiHostList(), data.domains), dig, workers,
                       [&](LookupResult r) { found = std::move(r); });
    workers.runAll();
    ActivationPlan plan = makeActivationPlan(data, found.rules);
    EXPECT_EQ(plan.hostsCount, 8);
    // 44 fixed + 203.0.113.7, 2001:db8::1, 198.51.100.0/24 + 104.18.32.47,
    // 160.79.104.10, 2606:4700::6812:2011 (203.0.113.7 counted once).
    EXPECT_EQ(plan.firewallCount, 50);
    expectScript("activate.sh", macos().activationScript(plan.hostsEntries, plan.rulesText, home));
}

TEST(ScriptGolden, ActivationWithoutLookups) {
    ActivationPlan plan = makeActivationPlan(fixedReplyData(), {});
    EXPECT_EQ(plan.firewallCount, 47);
    expectScript("activate-no-lookup.sh",
                 macos().activationScript(plan.hostsEntries, plan.rulesText, home));
}

TEST(ScriptGolden, UndoAndRestoreCommands) {
    expectScript("deactivate.sh", macos().undoCommand());
    expectScript("restore-automatic-backup-present.sh",
                 macos().restoreCommand(RestoreVariant::Automatic, true));
    expectScript("restore-automatic-backup-absent.sh",
                 macos().restoreCommand(RestoreVariant::Automatic, false));
    expectScript("restore-manual-backup-present.sh",
                 macos().restoreCommand(RestoreVariant::Manual, true));
    expectScript("restore-manual-backup-absent.sh",
                 macos().restoreCommand(RestoreVariant::Manual, false));
    expectScript("restore-signal.sh", macos().restoreCommand(RestoreVariant::Signal, true));
    EXPECT_EQ(macos().restoreCommand(RestoreVariant::Signal, false),
              macos().restoreCommand(RestoreVariant::Signal, true));
}

TEST(ActivationScript, ShapeAndEdgeCases) {
    std::string script = macos().activationScript("", "", "/Users/x");
    EXPECT_TRUE(script.starts_with(
        "#!/bin/bash\nset -e\nmkdir -p '/Library/Application Support/KaTesmar'\n"));
    EXPECT_TRUE(script.ends_with("echo 'OK'"));
    // No domains: the block is only the empty line and the two markers.
    EXPECT_NE(script.find("printf '%b' '\\n# Ka Tesmar Start\\n# Ka Tesmar End' >> /etc/hosts; "),
              std::string::npos);
    EXPECT_EQ(script.find("' >> /etc/pf.anchors/ka.tesmar; "), std::string::npos);

    // Empty pieces of the rule text give no line; a single quote is escaped.
    std::string rules = macos().activationScript("", "a\n\nb'c\n", "/Users/x");
    EXPECT_NE(rules.find("rm -f /etc/pf.anchors/ka.tesmar; echo 'a' >> /etc/pf.anchors/ka.tesmar; "
                         "echo 'b'\\''c' >> /etc/pf.anchors/ka.tesmar; grep -q"),
              std::string::npos);

    // A home folder holding a quote stays one quoted word.
    std::string quoted = macos().activationScript("", "", "/Users/o'brien");
    EXPECT_NE(quoted.find("rm -rf '/Users/o'\\''brien/Library/Application Support/Cursor/Cache' "),
              std::string::npos);
    EXPECT_EQ(bashSyntaxErrors(quoted), "");

    // 23 guardian lines and 16 property-list lines between their delimiters.
    auto countLines = [&](const std::string& open, const std::string& close) {
        std::size_t from = script.find(open + "'\n") + open.size() + 2;
        std::size_t to = script.find("\n" + close + "\n", from);
        return std::count(script.begin() + from, script.begin() + to + 1, '\n');
    };
    EXPECT_EQ(countLines("<< 'GUARDIANEOF", "GUARDIANEOF"), 23);
    EXPECT_EQ(countLines("<< 'PLISTEOF", "PLISTEOF"), 16);
}

TEST(SystemProfiles, ChosenByName) {
    ASSERT_NE(profileNamed("macos"), nullptr);
    EXPECT_EQ(profileNamed("macos")->name(), "macos");
    EXPECT_EQ(profileNamed("macos")->paths().lockFile,
              "/Library/Application Support/KaTesmar/active.lock");
    EXPECT_EQ(profileNamed("windows"), nullptr);
    EXPECT_EQ(singleQuoteEscaped("it's"), "it'\\''s");
}

}  // namespace
}  // namespace kt
