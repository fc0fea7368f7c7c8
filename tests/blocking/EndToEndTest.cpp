// Blocking on Linux for real, as root in a fresh network, mount and PID
// namespace (sandbox/run-in-sandbox.sh with KT_SANDBOX_SYSTEM=linux): the
// application follows the teacher's switch at the reference service on that
// namespace's loopback, and connections to the blocked addresses are dropped
// by the real nftables table. Nothing leaves the namespace.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "SandboxRun.h"

namespace kt {
namespace {

// The sanitizers slow every process of the run down; the plain build holds
// the real limits.
constexpr double slowdown = KT_SANITIZED ? 1.5 : 1.0;

// A Debian hosts file.
const std::string originalHosts =
    "127.0.0.1\tlocalhost\n127.0.1.1\tleerling-pc\n\n"
    "# The following lines are desirable for IPv6 capable hosts\n"
    "::1     localhost ip6-localhost ip6-loopback\nff02::1 ip6-allnodes\nff02::2 ip6-allrouters\n";

class EndToEnd : public ::testing::Test {
  protected:
    // Runs the scenario (sandbox/SCENARIO); `logFiles` go into failure messages.
    void runScenario(const std::string& scenario, const std::vector<std::string>& logFiles) {
        run.useLinuxSystem();
        run.put("hosts.original", originalHosts);
        run.put("build.path", KT_BUILD_DIR);
        const int status = run.run(scenario, {KT_BUILD_DIR});
        for (const auto& file : logFiles)
            logs += "\n--- " + file + "\n" + run.out(file).value_or("-");
        if (status == 77)
            GTEST_SKIP() << "network, mount and PID namespaces, IPv6 on loopback or nft are not "
                            "available here: "
                         << run.log();
        ASSERT_EQ(status, 0) << run.log() << logs;
        ASSERT_FALSE(run.out("timeouts")) << *run.out("timeouts") << logs;
    }
    std::string step(const std::string& name, const std::string& file) const {
        return run.out(name + "/" + file).value_or("(missing)");
    }
    void expectBlocked(const std::string& name, const std::string& connections) const {
        SCOPED_TRACE(name);
        EXPECT_EQ(step(name, "connect"), connections);
        EXPECT_NE(step(name, "table").find("198.51.100.2"), std::string::npos);
        EXPECT_NE(step(name, "hosts").find("\n# Ka Tesmar Start\n0.0.0.0 chatgpt.com\n"),
                  std::string::npos);
        EXPECT_NE(step(name, "listing").find("active.lock"), std::string::npos);
    }
    // No table, the hosts file byte for byte as it was, nothing left behind.
    void expectFree(const std::string& name, const std::string& connections) const {
        SCOPED_TRACE(name);
        EXPECT_EQ(step(name, "connect"), connections);
        EXPECT_TRUE(run.out(name + "/table.missing")) << step(name, "table");
        EXPECT_EQ(step(name, "hosts"), originalHosts);
        for (const char* left :
             {"active.lock", "hosts_backup", "ka_tesmar.nft", "ka-tesmar-guardian"})
            EXPECT_EQ(step(name, "listing").find(left), std::string::npos) << left;
    }

    testing::SandboxRun run;
    std::string logs;
};

// One scenario run for all its parts: it takes a few polls of 5 s each.
TEST_F(EndToEnd, CoreFollowsTheTeacherAndTheGuardianAndTerminationSignalRestore) {
    run.put("classes.json", R"([{"code": "E2E001", "class_name": "5C",
      "teacher_name": "Mevr. Peeters", "school_name": "Sint-Jan", "is_blocked": false,
      "domains": ["chatgpt.com"], "ips": ["198.51.100.2", "2001:db8::2"], "ip_ranges": []}])");
    runScenario("linux-e2e.sh", {"driver-1.log", "driver-2.log", "service.log"});
    if (IsSkipped() || HasFatalFailure())
        return;
    // The two blocked addresses and port 853 dropped, the name on 0.0.0.0; the
    // addresses in named sets, one rule per set and the four rules on port 853.
    auto expectBlockedHere = [&](const std::string& name) {
        expectBlocked(
            name,
            "198.51.100.2:7000 dropped\n198.51.100.3:7000 ok\n[2001:db8::2]:7000 dropped\n"
            "[2001:db8::3]:7000 ok\n198.51.100.3:853 dropped\n[2001:db8::3]:853 dropped\n");
        EXPECT_EQ(step(name, "getent"), "0.0.0.0\n::1\n") << name;
        const std::string table = step(name, "table");
        const std::size_t chain = table.find("chain blocked");
        const std::string rules = table.substr(chain, table.find("chain output") - chain);
        int drops = 0;
        for (auto at = rules.find(" drop\n"); at != std::string::npos;
             at = rules.find(" drop\n", at + 1))
            ++drops;
        EXPECT_EQ(drops, 8) << table;
        EXPECT_NE(rules.find("ip daddr @v4 drop\n"), std::string::npos) << table;
        EXPECT_NE(table.substr(0, chain).find("2001:db8::2"), std::string::npos) << table;
    };
    auto expectFreeHere = [&](const std::string& name) {
        expectFree(name,
                   "198.51.100.2:7000 ok\n198.51.100.3:7000 ok\n[2001:db8::2]:7000 ok\n"
                   "[2001:db8::3]:7000 ok\n198.51.100.3:853 ok\n[2001:db8::3]:853 ok\n");
        EXPECT_EQ(step(name, "getent").find("0.0.0.0"), std::string::npos) << name;
        EXPECT_EQ(step(name, "ruleset"), "") << name;
    };
    // How often the application said it blocked with these counters.
    auto activations = [&](const std::string& log) {
        const std::string text = run.out(log).value_or(""),
                          line = "Blokkering geactiveerd: 2 hosts, 46 firewall regels\n";
        int count = 0;
        for (auto at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
            ++count;
        return count;
    };

    // The teacher's switch blocks and frees for real.
    expectFreeHere("before");
    ASSERT_EQ(activations("driver-1.log"), 2) << logs;
    expectBlockedHere("blocked");
    // The guardian installed and its timer enabled; a missing nscd is no error.
    EXPECT_EQ(step("blocked", "enabled"), "ka-tesmar-guardian.timer\n");
    for (const char* call : {"systemctl [--no-ask-password] [enable] [ka-tesmar-guardian.timer]\n",
                             "systemctl [--no-ask-password] [restart] [ka-tesmar-guardian.timer]\n",
                             "resolvectl [flush-caches]\n"})
        EXPECT_NE(step("blocked", "calls.log").find(call), std::string::npos) << call;
    expectFreeHere("free");
    EXPECT_EQ(step("free", "enabled"), "") << "the timer is disabled";
    EXPECT_NE(step("free", "calls.log")
                  .find("systemctl [--no-ask-password] [disable] [--now] "
                        "[ka-tesmar-guardian.timer]\n"),
              std::string::npos);

    // The guardian restores only once nobody holds the application's lock,
    // and then takes itself out with the rest.
    expectBlockedHere("guardian-app-running");
    EXPECT_EQ(step("guardian-app-running", "calls.log"), "");
    expectFreeHere("guardian-app-gone");
    EXPECT_EQ(run.out("guardian-2.out"), "Hosts hersteld vanuit backup\nOK\n");

    // Started again while the class is blocked, then the termination signal.
    ASSERT_EQ(activations("driver-2.log"), 1) << logs;
    expectBlockedHere("blocked-again");
    EXPECT_EQ(run.out("terminated.status"), "0\n");
    expectFreeHere("terminated");
}

// The real window under Xvfb, driven by keyboard, with a name server that
// drops every query (sandbox/window-e2e.sh): Ctrl+Q during an activation's
// lookups ends it with the network restored.
TEST_F(EndToEnd, KeyboardPupilSwitchesOnOffOnAndQuitsDuringTheLookups) {
    ASSERT_EQ(
        std::system("'" KT_SOURCE_DIR "/scripts/reference-certificate.sh' '" KT_BUILD_DIR "'"), 0);
    runScenario("window-e2e.sh", {"window.log", "service.log"});
    if (IsSkipped() || HasFatalFailure())
        return;
    auto seconds = [&](const std::string& file) {
        return std::atof(run.out(file).value_or("1e9").c_str());
    };
    std::printf("switch to block in force: %.2f s and %.2f s; window gone %.2f s after Ctrl+Q\n",
                seconds("blocked-1/seconds"), seconds("blocked-2/seconds"),
                seconds("quit.seconds"));
    for (const char* name : {"before", "free-1", "quit"})
        expectFree(name, "198.51.100.2:7000 ok\n198.51.100.3:7000 ok\n");
    for (const std::string name : {"blocked-1", "blocked-2"}) {
        expectBlocked(name, "198.51.100.2:7000 dropped\n198.51.100.3:7000 ok\n");
        // A poll at most 5 s after the switch, the lookups and the run within 3 s.
        EXPECT_LE(seconds(name + "/seconds"), 8.0 * slowdown) << name;
    }
    // The quit: hold, restore and the session's deletion, not the lookups.
    EXPECT_LE(seconds("quit.seconds"), 6.0 * slowdown) << logs;
    EXPECT_NE(logs.find("Blokkering activeren overgeslagen: programma stopt"), std::string::npos)
        << logs;
}

}  // namespace
}  // namespace kt
