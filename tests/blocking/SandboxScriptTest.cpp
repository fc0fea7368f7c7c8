// The macOS scripts run for real, as root, in a throwaway root file system
// (see sandbox/run-in-sandbox.sh), with stand-ins for the macOS tools.
#include <gtest/gtest.h>

#include "SandboxRun.h"
#include "blocking/ActivationPlan.h"
#include "blocking/SystemProfile.h"
#include "privilege/NameResolution.h"

namespace kt {
namespace {

using testing::SandboxRun;

const std::string hook =
    "\n# Ka Tesmar\nanchor \"ka.tesmar\"\nload anchor \"ka.tesmar\" from "
    "\"/etc/pf.anchors/ka.tesmar\"\n";

std::string between(const std::string& text, const std::string& open, const std::string& close) {
    const std::size_t from = text.find(open) + open.size();
    return text.substr(from, text.find(close, from) - from);
}

TEST(SandboxScripts, ActivationsEveryWayBackAndTheGuardian) {
    // Only plain names and addresses get this far (ValidationTest).
    const ActivationPlan plan =
        makeActivationPlan(checkBlockData({"chatgpt.com", "www.claude.ai", "cursor.sh"},
                                          {"203.0.113.7", "2001:db8::1", "198.51.100.0/24"}),
                           parseDigAnswer("cdn.example.\n104.18.32.47\n").addresses);
    const std::string script =
        profileNamed("macos")->activationScript(plan, "/Users/leerling met spatie");
    SandboxRun run;
    run.put("activate.sh", script);
    run.put("golden.path", KT_GOLDEN_DIR);  // the ways back as the golden test pins them
    run.put("admin.path", KT_ADMIN_PATH);
    run.put("app.path", KT_APP_PATH);
    const int status = run.run(KT_SCENARIO_DIR "/macos-scripts.sh", {KT_BUILD_DIR, KT_GOLDEN_DIR});
    if (status == 77)
        GTEST_SKIP() << "mount and PID namespaces (unshare) are refused here";
    ASSERT_EQ(status, 0) << run.log();
    auto out = [&](const std::string& path) { return run.out(path).value_or("(missing)"); };
    EXPECT_EQ(out("activated-undo/backup"), testing::originalHosts);
    EXPECT_EQ(out("activated-undo/lock"), "active\n");
    // The hosts file as the first activation leaves it: the legacy lines (the
    // file's last) gone and the block appended after an empty line, ending
    // with the end marker.
    const std::string withoutBlocks = testing::originalHostsWithoutOldBlocks() + "\n";
    std::string blocked = withoutBlocks + "# Ka Tesmar Start\n";
    for (const HostsEntry& entry : plan.hostsEntries)
        blocked += entry.address + " " + entry.name + "\n";
    EXPECT_EQ(out("activated-undo/hosts"), blocked += "# Ka Tesmar End");
    std::string anchor;
    for (const FirewallRule& rule : plan.firewallRules) anchor += packetFilterRule(rule) + "\n";
    EXPECT_EQ(out("activated-undo/anchor"), anchor);
    EXPECT_EQ(out("activated-undo/pf.conf"), testing::originalPfConf + hook);
    EXPECT_EQ(out("activated-undo/guardian.sh"),
              between(script, "<< 'GUARDIANEOF'\n", "GUARDIANEOF\n"));
    EXPECT_EQ(out("activated-undo/guardian.plist"),
              between(script, "<< 'PLISTEOF'\n", "PLISTEOF\n"));
    EXPECT_EQ(out("activated-undo/loaded"), "/Library/LaunchDaemons/com.katesmar.guardian.plist\n");
    // Editor and browser caches went; the pupil's own files did not.
    const std::string homeListing = out("activated-undo/home.listing");
    EXPECT_NE(homeListing.find("opdracht.txt"), std::string::npos);
    EXPECT_EQ(homeListing.find("com.apple.Safari"), std::string::npos);
    EXPECT_EQ(homeListing.find("Code Cache"), std::string::npos);
    // Again: still one block (one more empty line before it), the backup
    // untouched, the hook not doubled.
    EXPECT_EQ(out("activate-again.status"), "0\n");
    EXPECT_EQ(out("activated-again/hosts"),
              withoutBlocks + "\n" + blocked.substr(withoutBlocks.size()));
    EXPECT_EQ(out("activated-again/backup"), testing::originalHosts);
    EXPECT_EQ(out("activated-again/pf.conf"), testing::originalPfConf + hook);
    // With a backup the hosts file comes back byte for byte; without, the
    // marked blocks are cut out (the legacy lines too; the empty line written
    // before the block stays). Nothing else of the block stays.
    for (std::string variant :
         {"undo", "automatic-backup-present", "automatic-backup-absent", "manual-backup-present",
          "manual-backup-absent", "signal", "signal-no-backup", "admin"}) {
        SCOPED_TRACE(variant);
        const std::string step = "restore-" + variant;
        EXPECT_EQ(out("activate-" + variant + ".status"), "0\n")
            << out("activate-" + variant + ".stderr");
        EXPECT_EQ(out(step + ".status"), "0\n") << out(step + ".stderr");
        const bool noBackup = variant.ends_with("absent") || variant == "signal-no-backup";
        EXPECT_EQ(out(step + "/hosts"), noBackup ? withoutBlocks : testing::originalHosts);
        for (const char* file : {"anchor", "backup", "lock", "guardian.sh", "guardian.plist"})
            EXPECT_TRUE(run.out(step + "/" + file + ".missing")) << file << " left";
        EXPECT_EQ(out(step + "/pf.conf"), testing::originalPfConf + "\n")
            << "only the hook's empty line may stay";
        EXPECT_EQ(out(step + "/loaded"), "");
    }
    EXPECT_EQ(out("restore-undo.stdout") + out("restore-admin.stdout"), "OK\nOK\n");
    EXPECT_EQ(out("restore-admin.stderr"), "RESTORE: Hosts hersteld vanuit backup\n");
    // The real executable runs and its command line matches the guardian's pattern.
    ASSERT_NE(out("app.pgrep").find(KT_APP_PATH), std::string::npos) << out("app.log");
    ASSERT_EQ(out("app.ready") + out("app.alive"), "ready\nalive\n") << out("app.log");
    EXPECT_EQ(out("activate.status"), "0\n");
    // While it runs, the guardian changes nothing.
    for (const char* file : {"hosts", "pf.conf", "anchor", "backup", "lock"})
        EXPECT_EQ(out(std::string("guardian-app-running/") + file),
                  out(std::string("before-guardian/") + file));
    // Once it is gone: the backup back, hook, anchor, lock and backup gone,
    // the firewall reloaded and the caches flushed. The guardian keeps itself.
    EXPECT_EQ(out("guardian-app-gone/hosts"), testing::originalHosts);
    for (const char* file : {"anchor", "backup", "lock"})
        EXPECT_TRUE(run.out(std::string("guardian-app-gone/") + file + ".missing")) << file;
    EXPECT_EQ(out("guardian-app-gone/pf.conf"), testing::originalPfConf + "\n");
    EXPECT_TRUE(run.out("guardian-app-gone/guardian.sh"));
    for (const char* call : {"sleep [5]", "pfctl [-Ef] [-]", "dscacheutil [-flushcache]"})
        EXPECT_NE(out("guardian-app-gone/calls.log").find(call), std::string::npos) << call;
    // Without a lock file it leaves the hosts file alone.
    EXPECT_EQ(out("guardian-no-lock/hosts"), testing::originalHosts + "# eigen regel\n");
}

}  // namespace
}  // namespace kt
