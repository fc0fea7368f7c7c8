// The real application as root in the tests' throwaway Linux system
// (tests/support/sandbox), where it blocks with the linux profile: the hosts
// file and a real nftables table. What happens is checked, and in which
// order; how long it takes is measured by benchmarks/window-benchmark.sh.
#include <gtest/gtest.h>

#include "SandboxRun.h"

namespace kt {
namespace {

using testing::SandboxRun;

// No table and no file of the block left; the hosts file byte for byte as given.
void expectFree(const SandboxRun& run, const std::string& step,
                const std::optional<std::string>& hosts) {
    SCOPED_TRACE(step);
    ASSERT_TRUE(hosts.has_value());
    EXPECT_EQ(run.out(step + "/hosts"), *hosts);
    for (const char* file : {"lock", "backup", "anchor", "guardian.sh", "guardian.plist", "table"})
        EXPECT_TRUE(run.out(step + "/" + file + ".missing")) << file << " left";
}

TEST(AppFaults, KilledWhileBlockedIsRestoredAtTheNextStartAndSigtermRestoresAndExitsZero) {
    SandboxRun run;
    run.put("app.path", KT_APP_PATH);
    run.put("helper.path", KT_HELPER_PATH);
    run.put("pkexec.path", KT_PKEXEC_STANDIN);
    run.useLinuxSystem();
    const int status = run.run(KT_SCENARIO_DIR "/app-faults.sh", {KT_BUILD_DIR});
    if (status == 77)
        GTEST_SKIP() << "mount, PID and network namespaces or nft are not available here: "
                     << run.log();
    ASSERT_EQ(status, 0) << run.log();
    ASSERT_FALSE(run.out("timeouts")) << *run.out("timeouts") << run.out("app-2.log").value_or("");
    EXPECT_EQ(run.out("app-1.status"), "137\n");
    // The lock file, the block in the hosts file and the firewall table.
    const auto expectBlocked = [&](const std::string& step) {
        EXPECT_TRUE(run.out(step + "/lock")) << step << ": no lock file";
        EXPECT_NE(run.out(step + "/hosts").value_or("").find("# Ka Tesmar Start"),
                  std::string::npos)
            << step << ": no block in the hosts file";
        const std::string table = run.out(step + "/table").value_or("");
        EXPECT_TRUE(table.find("ip daddr @v4 drop") != std::string::npos &&
                    table.find("203.0.113.7") != std::string::npos)
            << step << ": no firewall table";
    };
    expectBlocked("killed");  // SIGKILL: the block and its lock file stay behind
    // The next start, as a pupil: its two lines around the restore through
    // pkexec and the helper. The backup is the hosts file without any block
    // of ours, an earlier generation's included.
    const std::string log2 = run.out("app-2.log").value_or("");
    const std::size_t found =
        log2.find("STARTUP CLEANUP: Lock gevonden - vorige sessie niet correct afgesloten\n");
    const std::size_t restore = log2.find("RESTORE: Netwerk hersteld\n");
    ASSERT_NE(found, std::string::npos) << log2;
    EXPECT_LT(found, restore) << log2;
    EXPECT_LT(restore, log2.find("STARTUP CLEANUP: Netwerkinstellingen hersteld\n")) << log2;
    expectFree(run, "restarted", testing::originalHostsWithoutOldBlocks());
    EXPECT_EQ(run.out("app-2.status"), "0\n");
    // SIGTERM while blocked: the signal command ran in a shell, exit status 0,
    // the hosts file as the activation found it (the shutdown of the second
    // run took the legacy block out of it already).
    expectBlocked("blocked-3");
    EXPECT_EQ(run.out("app-3.status"), "0\n") << run.out("app-3.log").value_or("");
    expectFree(run, "terminated", run.out("blocked-3/backup"));
}

TEST(EndToEnd, KeyboardPupilTeacherGuardianAndQuitDuringTheLookups) {
    SandboxRun run;
    run.put("window.sh", testing::fileText(KT_SANDBOX_DIR "/window.sh"));
    run.put("build.path", KT_BUILD_DIR);
    run.useLinuxSystem();
    const int status = run.run(KT_SCENARIO_DIR "/window-e2e.sh", {KT_BUILD_DIR});
    if (status == 77)
        GTEST_SKIP() << "namespaces, IPv6 on loopback or nft are missing here: " << run.log();
    std::string logs;
    for (const char* file : {"timeouts", "window-1.log", "window-2.log", "service.log"})
        logs += std::string("\n--- ") + file + "\n" + run.out(file).value_or("-");
    ASSERT_EQ(status, 0) << run.log() << logs;
    auto out = [&](const std::string& path) { return run.out(path).value_or("(missing)"); };
    // The blocked addresses and port 853 dropped, the name on 0.0.0.0.
    auto expectBlocked = [&](const std::string& step) {
        EXPECT_EQ(out(step + "/connect"),
                  "198.51.100.2:7000 dropped\n198.51.100.3:7000 ok\n198.51.100.3:853 dropped\n"
                  "[2001:db8::2]:7000 dropped\n[2001:db8::3]:7000 ok\n[2001:db8::3]:853 dropped\n")
            << step;
        EXPECT_EQ(out(step + "/getent"), "0.0.0.0\n::1\n") << step;
    };
    // Everything reachable, the hosts file without an earlier generation's blocks.
    auto expectAllFree = [&](const std::string& step,
                             const std::string& hosts = testing::originalHostsWithoutOldBlocks()) {
        EXPECT_EQ(out(step + "/connect"),
                  "198.51.100.2:7000 ok\n198.51.100.3:7000 ok\n198.51.100.3:853 ok\n"
                  "[2001:db8::2]:7000 ok\n[2001:db8::3]:7000 ok\n[2001:db8::3]:853 ok\n")
            << step;
        expectFree(run, step, hosts);
    };
    expectAllFree("before", testing::originalHosts);
    expectBlocked("blocked-1");
    // The guardian's timer enabled while blocked; a missing nscd is no error.
    EXPECT_EQ(out("blocked-1/enabled"), "ka-tesmar-guardian.timer\n");
    EXPECT_NE(out("blocked-1/calls.log").find("resolvectl [flush-caches]\n"), std::string::npos);
    // The guardian restores only once nobody holds the application's lock,
    // and then takes itself out with the rest.
    expectBlocked("guardian-app-running");
    EXPECT_EQ(out("guardian-app-running/calls.log"), "");
    expectAllFree("guardian-app-gone");
    // Joined while blocked, switched off (the timer disabled); the quit:
    // hold, restore and the session's deletion, not the lookups.
    expectBlocked("blocked-again");
    expectAllFree("free-2");
    EXPECT_EQ(out("free-2/enabled"), "");
    expectAllFree("quit");
    EXPECT_FALSE(run.out("timeouts")) << logs;
    // Ctrl+Q came after the poll saw the switch, while the activation's
    // lookups were held; the network was free and the session deleted before
    // they were let go: the activation is skipped, never run.
    const std::string second = out("window-2.log");
    const std::size_t switchedOn = second.rfind("Status: GEBLOKKEERD");
    ASSERT_NE(switchedOn, std::string::npos) << second;
    EXPECT_NE(second.find("Blokkering activeren overgeslagen: programma stopt", switchedOn),
              std::string::npos)
        << second;
    EXPECT_EQ(second.find("Blokkering geactiveerd", switchedOn), std::string::npos) << second;
    // The class is told of each run and of the quit (the first window's
    // activation; the second's activation, undo and quit), and takes the
    // activation's report. A report the service does not take (the quit's,
    // when the logout beside it came first) is logged at most once.
    const std::string service = out("service.log");
    std::size_t reports = 0;
    for (std::size_t at = 0;
         (at = service.find("POST /Vexlo/api/class-report.php ", at)) != std::string::npos; ++at)
        ++reports;
    EXPECT_EQ(reports, 4u) << service;
    EXPECT_NE(service.find("POST /Vexlo/api/class-report.php 200"), std::string::npos) << service;
    for (const std::string& window : {out("window-1.log"), second}) {
        const std::string refused = "Klasrapport niet aangenomen: ";
        EXPECT_EQ(window.find(refused), window.rfind(refused)) << window;
        EXPECT_NE(window.find("Device: Linux "), std::string::npos) << window;
    }
}

}  // namespace
}  // namespace kt
