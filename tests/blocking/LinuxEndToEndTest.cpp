// Blocking on Linux for real, as root in a fresh network and mount namespace
// (sandbox/run-in-sandbox.sh with KT_SANDBOX_SYSTEM=linux): the application's
// core and privileged runner follow the teacher's switch at the reference
// service on that namespace's loopback, and connections to the blocked
// addresses are dropped by the real nftables table. Nothing leaves the
// namespace: listeners and service are on its own loopback device.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "SandboxRun.h"

namespace kt {
namespace {

using testing::SandboxRun;

// A Debian hosts file.
const std::string originalHosts =
    "127.0.0.1\tlocalhost\n127.0.1.1\tleerling-pc\n\n"
    "# The following lines are desirable for IPv6 capable hosts\n"
    "::1     localhost ip6-localhost ip6-loopback\nff02::1 ip6-allnodes\nff02::2 ip6-allrouters\n";

const std::string classes = R"([
  {"code": "E2E001", "class_name": "5C", "teacher_name": "Mevr. Peeters",
   "school_name": "Sint-Jan", "is_blocked": false, "domains": ["chatgpt.com"],
   "ips": ["198.51.100.2", "2001:db8::2"], "ip_ranges": []}
])";

const std::string blockedConnections =
    "198.51.100.2:7000 dropped\n198.51.100.3:7000 ok\n[2001:db8::2]:7000 dropped\n"
    "[2001:db8::3]:7000 ok\n198.51.100.3:853 dropped\n[2001:db8::3]:853 dropped\n";
const std::string freeConnections =
    "198.51.100.2:7000 ok\n198.51.100.3:7000 ok\n[2001:db8::2]:7000 ok\n"
    "[2001:db8::3]:7000 ok\n198.51.100.3:853 ok\n[2001:db8::3]:853 ok\n";

class LinuxEndToEnd : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        run = new SandboxRun;
        run->useLinuxSystem();
        run->put("hosts.original", originalHosts);
        run->put("classes.json", classes);
        run->put("build.path", KT_BUILD_DIR);
        status = run->run("linux-e2e.sh", {KT_BUILD_DIR});
    }
    static void TearDownTestSuite() {
        delete run;
        run = nullptr;
    }
    void SetUp() override {
        if (status == 77)
            GTEST_SKIP() << "network and mount namespaces, IPv6 on loopback or nft are "
                            "not available here: "
                         << run->log();
        ASSERT_EQ(status, 0) << run->log() << diagnostics();
        ASSERT_FALSE(run->out("timeouts")) << *run->out("timeouts") << diagnostics();
    }

    std::string diagnostics() const {
        return "\n--- driver-1.log\n" + run->out("driver-1.log").value_or("-") +
               "\n--- driver-2.log\n" + run->out("driver-2.log").value_or("-") +
               "\n--- service.log\n" + run->out("service.log").value_or("-");
    }
    std::string step(const std::string& name, const std::string& file) const {
        return run->out(name + "/" + file).value_or("(missing)");
    }

    // Blocked: the two blocked addresses and port 853 dropped, the rest
    // reachable, the name on 0.0.0.0; the addresses in sets, one table rule
    // per set and the four rules on port 853.
    void expectBlocked(const std::string& name) {
        SCOPED_TRACE(name);
        EXPECT_EQ(step(name, "connect"), blockedConnections);
        EXPECT_EQ(step(name, "getent"), "0.0.0.0\n::1\n");
        const std::string table = step(name, "table");
        const std::string chain = table.substr(table.find("chain blocked"));
        const std::string rules = chain.substr(0, chain.find("chain output"));
        int drops = 0;
        for (auto at = rules.find(" drop\n"); at != std::string::npos;
             at = rules.find(" drop\n", at + 1))
            ++drops;
        EXPECT_EQ(drops, 8) << table;
        EXPECT_NE(rules.find("ip daddr @v4 drop\n"), std::string::npos) << table;
        const std::string sets = table.substr(0, table.find("chain blocked"));
        EXPECT_NE(sets.find("198.51.100.2"), std::string::npos) << table;
        EXPECT_NE(sets.find("2001:db8::2"), std::string::npos) << table;
        EXPECT_NE(step(name, "listing").find("active.lock"), std::string::npos);
        EXPECT_NE(step(name, "hosts").find("\n# Ka Tesmar Start\n0.0.0.0 chatgpt.com\n"),
                  std::string::npos);
    }

    // Free: everything reachable, no table, the hosts file as it was.
    void expectFree(const std::string& name) {
        SCOPED_TRACE(name);
        EXPECT_EQ(step(name, "connect"), freeConnections);
        EXPECT_EQ(step(name, "getent").find("0.0.0.0"), std::string::npos) << step(name, "getent");
        EXPECT_TRUE(run->out(name + "/table.absent")) << step(name, "table");
        EXPECT_EQ(step(name, "ruleset"), "");
        EXPECT_EQ(step(name, "hosts"), originalHosts);
        for (const char* left : {"active.lock", "hosts_backup", "ka_tesmar.nft"})
            EXPECT_EQ(step(name, "listing").find(left), std::string::npos) << left;
    }

    static SandboxRun* run;
    static int status;
};

SandboxRun* LinuxEndToEnd::run = nullptr;
int LinuxEndToEnd::status = -1;

// The firewall counter the application showed for its activations.
std::vector<int> firewallCounts(const std::string& log) {
    std::vector<int> counts;
    const std::regex line("Blokkering geactiveerd: (\\d+) hosts, (\\d+) firewall regels");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator();
         ++it) {
        EXPECT_EQ((*it)[1], "2");
        counts.push_back(std::stoi((*it)[2]));
    }
    return counts;
}

// One scenario run for all three parts: it takes a few polls of 5 s each.
TEST_F(LinuxEndToEnd, TeachersSwitchGuardianAndTerminationSignal) {
    // The teacher's switch blocks and frees for real.
    expectFree("before");
    const std::vector<int> counts = firewallCounts(run->out("driver-1.log").value_or(""));
    ASSERT_EQ(counts, (std::vector<int>{46, 46})) << diagnostics();
    expectBlocked("blocked");

    // The guardian is installed and its timer enabled; the tools of this
    // system are used, and a missing nscd is no error.
    EXPECT_NE(step("blocked", "listing").find("ka-tesmar-guardian.sh"), std::string::npos);
    EXPECT_NE(step("blocked", "listing").find("/etc/systemd/system/ka-tesmar-guardian.service"),
              std::string::npos);
    EXPECT_EQ(step("blocked", "enabled"), "ka-tesmar-guardian.timer\n");
    const std::string calls = step("blocked", "calls.log");
    for (const char* call : {"systemctl [--no-ask-password] [enable] [ka-tesmar-guardian.timer]\n",
                             "systemctl [--no-ask-password] [restart] [ka-tesmar-guardian.timer]\n",
                             "resolvectl [flush-caches]\n"})
        EXPECT_NE(calls.find(call), std::string::npos) << call << calls;

    expectFree("free");
    EXPECT_EQ(step("free", "enabled"), "") << "the timer is disabled";
    EXPECT_EQ(step("free", "listing").find("ka-tesmar-guardian"), std::string::npos)
        << step("free", "listing");
    EXPECT_NE(step("free", "calls.log")
                  .find("systemctl [--no-ask-password] [disable] [--now] "
                        "[ka-tesmar-guardian.timer]\n"),
              std::string::npos);

    // The guardian restores only once nobody holds the application's lock,
    // and then takes itself out with the rest.
    expectBlocked("guardian-app-running");
    EXPECT_EQ(step("guardian-app-running", "calls.log"), "");
    expectFree("guardian-app-gone");
    EXPECT_EQ(run->out("guardian-2.out"), "Hosts hersteld vanuit backup\nOK\n");
    EXPECT_EQ(step("guardian-app-gone", "listing").find("ka-tesmar-guardian"), std::string::npos);

    // Started again while the class is blocked, then the termination signal.
    ASSERT_EQ(firewallCounts(run->out("driver-2.log").value_or("")), std::vector<int>{46})
        << diagnostics();
    expectBlocked("blocked-again");
    EXPECT_EQ(run->out("terminated.status"), "0\n");
    expectFree("terminated");
    EXPECT_EQ(step("terminated", "listing").find("ka-tesmar-guardian"), std::string::npos);
}

}  // namespace
}  // namespace kt
