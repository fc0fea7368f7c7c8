// The application for real, as root in its own namespaces: the scenario is
// window-e2e.sh. What happens is checked, and in which order; how long it
// takes is measured by benchmarks/window-benchmark.sh.
#include <gtest/gtest.h>

#include "SandboxRun.h"

namespace kt {
namespace {

TEST(EndToEnd, KeyboardPupilTeacherGuardianAndQuitDuringTheLookups) {
    testing::SandboxRun run;
    run.useLinuxSystem();
    run.put("window.sh", testing::fileText(KT_SANDBOX_DIR "/window.sh"));
    run.put("build.path", KT_BUILD_DIR);
    const int status = run.run(KT_SCENARIO_DIR "/window-e2e.sh", {KT_BUILD_DIR});
    if (status == 77)
        GTEST_SKIP() << "namespaces, IPv6 on loopback or nft are missing here: " << run.log();
    std::string logs;
    for (const char* file : {"timeouts", "window-1.log", "window-2.log", "service.log"})
        logs += std::string("\n--- ") + file + "\n" + run.out(file).value_or("-");
    ASSERT_EQ(status, 0) << run.log() << logs;
    auto out = [&](const std::string& path) { return run.out(path).value_or("(missing)"); };
    // The blocked addresses and port 853 dropped, the name on 0.0.0.0.
    auto expectBlocked = [&](const std::string& name) {
        SCOPED_TRACE(name);
        EXPECT_EQ(out(name + "/connect"),
                  "198.51.100.2:7000 dropped\n198.51.100.3:7000 ok\n198.51.100.3:853 dropped\n"
                  "[2001:db8::2]:7000 dropped\n[2001:db8::3]:7000 ok\n[2001:db8::3]:853 dropped\n");
        EXPECT_EQ(out(name + "/getent"), "0.0.0.0\n::1\n");
    };
    // Everything reachable, no table, the hosts file byte for byte as it was
    // (an earlier generation's blocks gone), nothing left behind.
    auto expectFree = [&](const std::string& name,
                          const std::string& hosts = testing::originalHostsWithoutOldBlocks()) {
        SCOPED_TRACE(name);
        EXPECT_EQ(out(name + "/connect"),
                  "198.51.100.2:7000 ok\n198.51.100.3:7000 ok\n198.51.100.3:853 ok\n"
                  "[2001:db8::2]:7000 ok\n[2001:db8::3]:7000 ok\n[2001:db8::3]:853 ok\n");
        EXPECT_TRUE(run.out(name + "/table.missing")) << out(name + "/table");
        EXPECT_EQ(out(name + "/hosts"), hosts);
        for (const char* left :
             {"active.lock", "hosts_backup", "ka_tesmar.nft", "ka-tesmar-guardian"})
            EXPECT_EQ(out(name + "/listing").find(left), std::string::npos) << left;
    };

    expectFree("before", testing::originalHosts);
    expectBlocked("blocked-1");
    // The guardian's timer enabled while blocked; a missing nscd is no error.
    EXPECT_EQ(out("blocked-1/enabled"), "ka-tesmar-guardian.timer\n");
    EXPECT_NE(out("blocked-1/calls.log").find("resolvectl [flush-caches]\n"), std::string::npos);

    // The guardian restores only once nobody holds the application's lock,
    // and then takes itself out with the rest.
    expectBlocked("guardian-app-running");
    EXPECT_EQ(out("guardian-app-running/calls.log"), "");
    expectFree("guardian-app-gone");

    // Joined while blocked, switched off (the timer disabled); the quit:
    // hold, restore and the session's deletion, not the lookups.
    expectBlocked("blocked-again");
    expectFree("free-2");
    EXPECT_EQ(out("free-2/enabled"), "");
    expectFree("quit");
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
