// The scripts run for real, as root, in a throwaway root file system (see
// sandbox/run-in-sandbox.sh), with stand-ins for the macOS tools.
#include <gtest/gtest.h>

#include <algorithm>

#include "SandboxRun.h"
#include "blocking/ActivationPlan.h"
#include "blocking/SystemProfile.h"

namespace kt {
namespace {

using testing::SandboxRun;

const SystemProfile& macos() {
    return *profileNamed("macos");
}
const std::string home = "/Users/leerling met spatie";

ActivationPlan fixedPlan() {
    CheckedBlockData data = checkBlockData({"chatgpt.com", "www.claude.ai", "cursor.sh"},
                                           {"203.0.113.7", "2001:db8::1", "198.51.100.0/24"});
    return makeActivationPlan(data, {"block drop quick from any to 104.18.32.47"});
}

std::string between(const std::string& text, const std::string& open, const std::string& close) {
    std::size_t from = text.find(open);
    if (from == std::string::npos)
        return "";
    from += open.size();
    return text.substr(from, text.find(close, from) - from);
}

// The hosts file as the first activation leaves it: the legacy lines gone and
// the block appended after an empty line, ending with the end marker.
std::string hostsAfterFirstActivation(const ActivationPlan& plan) {
    std::string kept = testing::originalHosts;
    for (const char* legacy :
         {"# DNS_TESMAR_START\n0.0.0.0 old-generation.example\n# DNS_TESMAR_END\n",
          "0.0.0.0 legacy.example # DNS Tesmar\n"})
        kept.erase(kept.find(legacy), std::string(legacy).size());
    std::string entries = plan.hostsEntries;
    for (std::size_t at = entries.find("\\n"); at != std::string::npos;
         at = entries.find("\\n", at))
        entries.replace(at, 2, "\n");
    return kept + "\n# Ka Tesmar Start\n" + entries + "# Ka Tesmar End";
}

const std::string hook =
    "\n# Ka Tesmar\nanchor \"ka.tesmar\"\nload anchor \"ka.tesmar\" from "
    "\"/etc/pf.anchors/ka.tesmar\"\n";

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Checks that a step left nothing of the blocking behind.
void expectAllGone(const SandboxRun& run, const std::string& step) {
    for (const char* file : {"anchor", "backup", "lock", "guardian.sh", "guardian.plist"})
        EXPECT_TRUE(run.out(step + "/" + file + ".missing"))
            << step << ": " << file << " left behind";
    EXPECT_EQ(run.out(step + "/pf.conf"), std::string(testing::originalPfConf) + "\n")
        << step << ": only the hook's empty line may stay";
    EXPECT_EQ(run.out(step + "/loaded").value_or("?"), "") << step;
}

#define RUN_OR_SKIP(run, ...)                                                      \
    do {                                                                           \
        int status = (run).run(__VA_ARGS__);                                       \
        if (status == 77)                                                          \
            GTEST_SKIP() << "mount and PID namespaces (unshare) are refused here"; \
        ASSERT_EQ(status, 0) << (run).log();                                       \
    } while (0)

TEST(SandboxScripts, TwoActivationsThenTheUndoCommand) {
    ActivationPlan plan = fixedPlan();
    std::string script = macos().activationScript(plan.hostsEntries, plan.rulesText, home);
    SandboxRun run;
    run.put("activate.sh", script);
    run.put("deactivate.sh", macos().undoCommand());
    RUN_OR_SKIP(run, "lifecycle.sh");

    // First activation.
    EXPECT_EQ(run.out("activate-1.status"), "0\n") << run.out("activate-1.stderr").value_or("");
    EXPECT_EQ(run.out("activate-1.stdout"), "OK\n");
    EXPECT_EQ(run.out("after-activate-1/backup"), testing::originalHosts);
    EXPECT_EQ(run.out("after-activate-1/lock"), "active\n");
    std::string hosts = run.out("after-activate-1/hosts").value_or("");
    EXPECT_EQ(hosts, hostsAfterFirstActivation(plan));
    EXPECT_EQ(occurrences(hosts, "# Ka Tesmar Start"), 1u);
    EXPECT_TRUE(hosts.ends_with("\n# Ka Tesmar End"));
    EXPECT_EQ(run.out("after-activate-1/anchor"), plan.rulesText + "\n");
    EXPECT_EQ(run.out("after-activate-1/pf.conf"), testing::originalPfConf + hook);
    EXPECT_EQ(run.out("pfctl-input.1"), testing::originalPfConf + hook);
    EXPECT_EQ(run.out("after-activate-1/guardian.sh"),
              between(script, "<< 'GUARDIANEOF'\n", "GUARDIANEOF\n"));
    EXPECT_EQ(run.out("after-activate-1/guardian.mode"), "755\n");
    EXPECT_EQ(run.out("after-activate-1/guardian.plist"),
              between(script, "<< 'PLISTEOF'\n", "PLISTEOF\n"));
    EXPECT_TRUE(run.out("after-activate-1/plist.mode").value_or("").starts_with("644 root:"));
    EXPECT_EQ(run.out("after-activate-1/loaded"),
              "/Library/LaunchDaemons/com.katesmar.guardian.plist\n");
    std::string calls = run.out("after-activate-1/calls.log").value_or("");
    for (const char* call :
         {"launchctl [unload] [/Library/LaunchDaemons/com.katesmar.firewall.plist]",
          "launchctl [load] [/Library/LaunchDaemons/com.katesmar.guardian.plist]",
          "dscacheutil [-flushcache]", "killall [-HUP] [mDNSResponder]", "killall [Google Chrome]",
          "killall [Arc]", "pfctl [-Ef] [-]"})
        EXPECT_NE(calls.find(call), std::string::npos) << call;
    // Editor and browser caches went; the pupil's own files did not.
    std::string homeListing = run.out("after-activate-1/home.listing").value_or("");
    EXPECT_NE(homeListing.find("opdracht.txt"), std::string::npos);
    EXPECT_EQ(homeListing.find("com.apple.Safari"), std::string::npos);
    EXPECT_EQ(homeListing.find("Code Cache"), std::string::npos);

    // Second activation: still one block (one more empty line before it),
    // the backup untouched, the hook not doubled.
    EXPECT_EQ(run.out("activate-2.status"), "0\n");
    hosts = run.out("after-activate-2/hosts").value_or("");
    EXPECT_EQ(occurrences(hosts, "# Ka Tesmar Start"), 1u);
    std::string first = hostsAfterFirstActivation(plan);
    EXPECT_EQ(hosts, first.insert(first.find("\n# Ka Tesmar Start"), "\n"));
    EXPECT_EQ(run.out("after-activate-2/backup"), testing::originalHosts);
    EXPECT_EQ(run.out("after-activate-2/pf.conf"), testing::originalPfConf + hook);
    EXPECT_EQ(run.out("after-activate-2/anchor"), plan.rulesText + "\n");

    // Undo: the hosts file byte for byte as before, everything else gone.
    EXPECT_EQ(run.out("undo.status"), "0\n");
    EXPECT_EQ(run.out("undo.stdout"), "OK\n");
    EXPECT_EQ(run.out("after-undo/hosts"), testing::originalHosts);
    expectAllGone(run, "after-undo");
}

TEST(SandboxScripts, EveryRestoreCommandUndoesAnActivation) {
    ActivationPlan plan = fixedPlan();
    SandboxRun run;
    run.put("activate.sh", macos().activationScript(plan.hostsEntries, plan.rulesText, home));
    for (bool backup : {true, false}) {
        const char* suffix = backup ? "backup-present" : "backup-absent";
        run.put(std::string("restore-automatic-") + suffix + ".sh",
                macos().restoreCommand(RestoreVariant::Automatic, backup));
        run.put(std::string("restore-manual-") + suffix + ".sh",
                macos().restoreCommand(RestoreVariant::Manual, backup));
    }
    run.put("restore-signal.sh", macos().restoreCommand(RestoreVariant::Signal, true));
    run.put("admin.path", KT_ADMIN_PATH);
    RUN_OR_SKIP(run, "restore.sh", {KT_BUILD_DIR});

    // Without a backup the marked blocks are cut out of the hosts file: the
    // legacy lines go too, and the empty line written before the block stays.
    std::string withoutBlocks = hostsAfterFirstActivation(plan);
    withoutBlocks.erase(withoutBlocks.find("# Ka Tesmar Start"));
    for (std::string variant :
         {"automatic-backup-present", "automatic-backup-absent", "manual-backup-present",
          "manual-backup-absent", "signal", "signal-no-backup", "admin"}) {
        SCOPED_TRACE(variant);
        std::string step = "restore-" + variant;
        EXPECT_EQ(run.out("activate-" + variant + ".status"), "0\n");
        EXPECT_EQ(run.out(step + ".status"), "0\n") << run.out(step + ".stderr").value_or("");
        bool noBackup = variant.ends_with("absent") || variant == "signal-no-backup";
        EXPECT_EQ(run.out(step + "/hosts"), noBackup ? withoutBlocks : testing::originalHosts);
        expectAllGone(run, step);
    }
    EXPECT_EQ(run.out("restore-admin.stderr"), "RESTORE: Hosts hersteld vanuit backup\n");
    EXPECT_EQ(run.out("restore-admin.stdout"), "OK\n");
}

TEST(SandboxScripts, GuardianRestoresOnlyWhenTheApplicationIsGone) {
    ActivationPlan plan = fixedPlan();
    SandboxRun run;
    run.put("activate.sh", macos().activationScript(plan.hostsEntries, plan.rulesText, home));
    run.put("app.path", KT_APP_PATH);
    RUN_OR_SKIP(run, "guardian.sh", {KT_BUILD_DIR});

    // The real executable runs and its command line matches the guardian's pattern.
    ASSERT_NE(run.out("app.pgrep").value_or("").find(KT_APP_PATH), std::string::npos)
        << run.out("app.log").value_or("");
    ASSERT_EQ(run.out("app.ready"), "ready\n") << run.out("app.log").value_or("");
    EXPECT_EQ(run.out("app.alive"), "alive\n") << run.out("app.log").value_or("");
    EXPECT_EQ(run.out("activate.status"), "0\n");

    ASSERT_TRUE(run.out("guardian-app-running/hosts"))
        << run.log() << run.outListing() << run.out("app.log").value_or("")
        << run.out("guardian-1.out").value_or("");
    // While it runs, the guardian changes nothing.
    for (const char* file : {"hosts", "pf.conf", "anchor", "backup", "lock"})
        EXPECT_EQ(run.out(std::string("guardian-app-running/") + file),
                  run.out(std::string("before-guardian/") + file))
            << file;

    // Once it is gone: backup back in place, hook, anchor, lock and backup gone,
    // the firewall reloaded and the caches flushed. The guardian keeps itself.
    EXPECT_EQ(run.out("guardian-app-gone/hosts"), testing::originalHosts);
    for (const char* file : {"anchor", "backup", "lock"})
        EXPECT_TRUE(run.out(std::string("guardian-app-gone/") + file + ".missing")) << file;
    EXPECT_EQ(run.out("guardian-app-gone/pf.conf"), std::string(testing::originalPfConf) + "\n");
    EXPECT_TRUE(run.out("guardian-app-gone/guardian.sh"));
    std::string calls = run.out("guardian-app-gone/calls.log").value_or("");
    std::string guardianCalls = calls.substr(run.out("guardian-app-running/calls.log")->size());
    EXPECT_NE(guardianCalls.find("sleep [5]"), std::string::npos);
    EXPECT_NE(guardianCalls.find("pfctl [-Ef] [-]"), std::string::npos);
    EXPECT_NE(guardianCalls.find("dscacheutil [-flushcache]"), std::string::npos);

    // Without a lock file it leaves the hosts file alone.
    EXPECT_EQ(run.out("guardian-no-lock/hosts"),
              std::string(testing::originalHosts) + "# eigen regel\n");
}

}  // namespace
}  // namespace kt
