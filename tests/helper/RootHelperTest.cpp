// The root helper, run for real as root in a Linux sandbox: what it refuses
// before it touches anything, and what it leaves behind.
#include <gtest/gtest.h>

#include <string>

#include "SandboxRun.h"

namespace kt {
namespace {

using testing::runCommand;

TEST(RootHelper, PolkitActionIsValid) {
    const std::string dtd = "/usr/share/polkit-1/policyconfig-1.dtd";
    if (runCommand("command -v xmllint && ls " + dtd).output.find(dtd) == std::string::npos)
        GTEST_SKIP() << "xmllint or polkit's DTD is not installed";
    const testing::CommandResult xmllint =
        runCommand("xmllint --noout --dtdvalid " + dtd + " '" KT_POLICY_FILE "' 2>&1");
    EXPECT_EQ(xmllint.status, 0);
    EXPECT_EQ(xmllint.output, "");
}

// What it refuses, and what it leaves under a careless umask, when a step
// fails half-way, when its state files are links, when a disk is full, when
// it is killed, when runs overlap and when another account holds the
// application's lock; what the undo keeps; what the table lets through.
TEST(RootHelper, RefusesOddRequestsAndEveryFailureLeavesTheSystemWhole) {
    testing::SandboxRun run;
    run.useLinuxSystem();
    run.put("helper.path", KT_HELPER_PATH);
    const int status = run.run(KT_SCENARIO_DIR "/helper-faults.sh", {KT_BUILD_DIR});
    if (status == 77)
        GTEST_SKIP() << "mount, PID and network namespaces or nft are not available here: "
                     << run.log();
    ASSERT_EQ(status, 0) << run.log();
    auto out = [&](const std::string& path) { return run.out(path).value_or("(missing)"); };
    // Blocked in full (the hosts block and the table), or not at all with the
    // hosts file as the sandbox began and nothing left.
    auto expectState = [&](const std::string& step, bool blocked) {
        SCOPED_TRACE(step);
        const std::string hosts = out(step + "/hosts"), listing = out(step + "/listing");
        EXPECT_EQ(!run.out(step + "/table.missing"), blocked);
        EXPECT_EQ(listing.find("active.lock") != std::string::npos, blocked);
        EXPECT_EQ(listing.find("ka-tesmar-guardian") != std::string::npos, blocked);
        if (blocked)
            EXPECT_NE(hosts.find("# Ka Tesmar Start"), std::string::npos);
        else
            EXPECT_EQ(hosts, testing::originalHostsWithoutOldBlocks());
    };
    // Refused before anything is written: these never reach a script.
    const std::pair<const char*, std::string> refused[] = {
        {"usage", "gebruik: ka-tesmar-helper activate|deactivate|restore\n"},
        {"path", "gebruik: ka-tesmar-helper activate|deactivate|restore\n"},
        {"verb", "Onbekende opdracht: alleen activate, deactivate en restore\n"},
        {"not-json", "Verzoek geweigerd: Verzoek is geen JSON-object\n"},
        {"member", "Verzoek geweigerd: Onbekend veld in verzoek\n"},
        {"not-list", "Verzoek geweigerd: Veld is geen lijst: names\n"},
        {"too-many", "Verzoek geweigerd: Te veel items in names\n"},
        {"too-big", "Verzoek geweigerd: Verzoek te groot\n"},
        {"not-root", "ka-tesmar-helper moet als root draaien\n"}};
    for (const auto& [name, says] : refused)
        EXPECT_EQ(out("refused-" + std::string(name)), says + "status 2\n") << name;
    EXPECT_EQ(out("refused/hosts"), testing::originalHosts);
    EXPECT_TRUE(run.out("refused/table.missing"));
    EXPECT_EQ(out("refused/listing").find("active.lock"), std::string::npos);
    // Blocked with only what may be blocked, under umask 000 all the same;
    // the name server (127.0.0.1) accepted before every drop.
    EXPECT_EQ(out("umask/status"), "0\n") << out("umask/stderr");
    expectState("umask", true);
    const std::string table = out("umask/table");
    const std::size_t drops = table.find("set v4 ");
    EXPECT_NE(table.substr(0, drops).find("set protected_v4 {"), std::string::npos) << table;
    EXPECT_NE(table.substr(0, drops).find("127.0.0.1"), std::string::npos) << table;
    for (const char* blocked :
         {"203.0.113.7", "198.51.100.9", "10.0.0.0/8"})  // 10/8: nothing to protect
        EXPECT_NE(table.find(blocked, drops), std::string::npos) << blocked;
    for (const char* refused : {"127.0.0.1", "127.0.0.53", "1.2.3.4"})
        EXPECT_EQ(table.find(refused, drops), std::string::npos) << refused;
    const std::string modes = out("umask/modes");
    for (const char* mode :
         {"700 root /var/lib/ka-tesmar\n", "600 root /var/lib/ka-tesmar/active.lock\n",
          "600 root /var/lib/ka-tesmar/hosts_backup\n", "700 root /run/ka-tesmar\n",
          "644 root /etc/hosts\n", "755 root /usr/local/bin/ka-tesmar-guardian.sh\n"})
        EXPECT_NE(modes.find(mode), std::string::npos) << mode << modes;
    // A step that fails puts back what was there and says why; a backup that
    // is a link is never put back; full disks never leave the hosts file
    // empty or partial, nor the system half blocked; killed half-way, the
    // guardian repairs it. Each step: its status, a text of its output, and
    // whether it is blocked (nothing: only the hosts file as it began counts).
    const std::tuple<std::string, std::string, std::string, std::optional<bool>> rows[] = {
        {"umask-undone", "0", "", false},
        {"no-guardian", "1", "Kon de bewaker niet installeren\n", false},
        {"link-backup", "0", "alleen de Ka Tesmar-blokken verwijderd", false},
        {"link-lock", "1", "geen bestand van root: geweigerd", std::nullopt},
        {"full-state", "1", "Kon de hosts-backup niet schrijven\n", false},
        {"full-restore", "1", "Niet hersteld: hosts-bestand\n", true},
        {"full-activate", "1", "", true},
        {"room-again", "0", "", false},
        {"full-run", "1", "Kon het hosts-bestand niet bewaren\n", true},
        {"done", "0", "", false},
        {"guardian", "0", "OK", false},
        // Another account held the lock file as it was: the helper
        // made it afresh, and the guardian heeds only the application.
        {"foreign", "0", "OK", true},
        {"guardian-app-running", "0", "", true},
        {"guardian-app-gone", "0", "OK", false}};
    for (const auto& [step, status, says, blocked] : rows) {
        EXPECT_EQ(out(step + "/status"), status + "\n") << step;
        EXPECT_NE((out(step + "/stdout") + out(step + "/stderr")).find(says), std::string::npos)
            << step;
        if (blocked)
            expectState(step, *blocked);
        else
            EXPECT_EQ(out(step + "/hosts"), testing::originalHostsWithoutOldBlocks());
    }
    for (const std::string step : {"full-restore", "full-activate"})
        EXPECT_EQ(out(step + "/hosts"), out("blocked-2/hosts")) << step;
    EXPECT_TRUE(out("full-run/hosts").ends_with("# regel 200 van een groot hosts-bestand\n"));
    EXPECT_NE(out("killed/listing").find("active.lock"), std::string::npos);
    // The undo keeps what an administrator changed during the lesson; the
    // backup comes back where a block lost its end (the intranet line added
    // above it goes with it).
    std::string edited = testing::originalHostsWithoutOldBlocks();
    const std::string removed = "255.255.255.255\tbroadcasthost\n";
    edited.erase(edited.find(removed), removed.size());
    const std::pair<std::string, std::string> undone[] = {
        {"lesson-undone", edited + "192.0.2.50 printer.school.example\n"},
        {"no-line-feed-undone", "127.0.0.1 localhost\n::1 localhost"},
        {"open-block-undone", "127.0.0.1 localhost\n::1 localhost"}};
    for (const auto& [step, hosts] : undone) {
        EXPECT_EQ(out(step + "/status"), "0\n") << step << out(step + "/stderr");
        EXPECT_EQ(out(step + "/hosts"), hosts) << step;
    }
    // The class service inside a fixed network and a name server on port 853
    // stay reachable; the rest of the network and of the port do not.
    EXPECT_EQ(out("service/connect"),
              "198.51.100.2:853 dropped\n198.51.100.3:853 ok\n76.76.21.8:443 dropped\n"
              "76.76.21.9:443 ok\n[2606:4700::8]:443 dropped\n[2606:4700::9]:443 ok\n");
    // Started together: each run in its turn (its calls in one piece, the
    // first one's first), every one succeeds.
    for (const char* run : {"first", "second", "third"})
        EXPECT_EQ(out(std::string("together/") + run), "0\n") << run;
    expectState("together", out("together/listing").find("active.lock") != std::string::npos);
    const std::string activation =
        "systemctl [--no-ask-password] [daemon-reload]\n"
        "systemctl [--no-ask-password] [enable] [ka-tesmar-guardian.timer]\n"
        "systemctl [--no-ask-password] [restart] [ka-tesmar-guardian.timer]\n"
        "resolvectl [flush-caches]\n";
    const std::string restore =
        "systemctl [--no-ask-password] [disable] [--now] [ka-tesmar-guardian.timer]\n"
        "systemctl [--no-ask-password] [daemon-reload]\nresolvectl [flush-caches]\n";
    const std::string calls = out("together/calls.log");
    EXPECT_TRUE(calls == activation + activation + restore ||
                calls == activation + restore + activation)
        << calls;
    // Killed, quit from the terminal, over a file-size limit: the run goes
    // on to the end and leaves nothing, also not what an older run left.
    for (const std::string step : {"caller-kill", "caller-quit", "caller-fsize"}) {
        EXPECT_EQ(out(step + "/stdout"), "OK\n") << step;
        EXPECT_EQ(out(step + "/run"), "run.lock\n") << step;
        EXPECT_EQ(out(step + "/temporary"), "") << step;
        expectState(step, true);
    }
    // Only the caller's account (and root) can open the new lock file.
    EXPECT_EQ(out("foreign/lock"), "1000 600\n");
    EXPECT_NE(out("foreign/other-opens"), "0\n");
    EXPECT_EQ(out("foreign/deactivate"), "0\n");
}

}  // namespace
}  // namespace kt
