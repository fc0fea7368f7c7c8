// Blocking on Linux for real, as root in a fresh network and mount namespace
// (sandbox/run-in-sandbox.sh with KT_SANDBOX_SYSTEM=linux): the application's
// core and privileged runner follow the teacher's switch at the reference
// service on that namespace's loopback, and connections to the blocked
// addresses are dropped by the real nftables table. Nothing leaves the
// namespace.
#include <gtest/gtest.h>

#include "SandboxRun.h"

namespace kt {
namespace {

// A Debian hosts file.
const std::string originalHosts =
    "127.0.0.1\tlocalhost\n127.0.1.1\tleerling-pc\n\n"
    "# The following lines are desirable for IPv6 capable hosts\n"
    "::1     localhost ip6-localhost ip6-loopback\nff02::1 ip6-allnodes\nff02::2 ip6-allrouters\n";

// One scenario run for all its parts: it takes a few polls of 5 s each.
TEST(LinuxEndToEnd, TeachersSwitchGuardianAndTerminationSignal) {
    testing::SandboxRun run;
    run.useLinuxSystem();
    run.put("hosts.original", originalHosts);
    run.put("classes.json", R"([{"code": "E2E001", "class_name": "5C",
      "teacher_name": "Mevr. Peeters", "school_name": "Sint-Jan", "is_blocked": false,
      "domains": ["chatgpt.com"], "ips": ["198.51.100.2", "2001:db8::2"], "ip_ranges": []}])");
    run.put("build.path", KT_BUILD_DIR);
    const int status = run.run("linux-e2e.sh", {KT_BUILD_DIR});
    if (status == 77)
        GTEST_SKIP() << "network and mount namespaces, IPv6 on loopback or nft are not available "
                        "here: "
                     << run.log();
    const std::string logs = "\n--- driver-1.log\n" + run.out("driver-1.log").value_or("-") +
                             "\n--- driver-2.log\n" + run.out("driver-2.log").value_or("-") +
                             "\n--- service.log\n" + run.out("service.log").value_or("-");
    ASSERT_EQ(status, 0) << run.log() << logs;
    ASSERT_FALSE(run.out("timeouts")) << *run.out("timeouts") << logs;
    auto step = [&](const std::string& name, const std::string& file) {
        return run.out(name + "/" + file).value_or("(missing)");
    };
    // The two blocked addresses and port 853 dropped, the rest reachable, the
    // name on 0.0.0.0; the addresses in named sets, one rule per set and the
    // four rules on port 853.
    auto expectBlocked = [&](const std::string& name) {
        SCOPED_TRACE(name);
        EXPECT_EQ(step(name, "connect"),
                  "198.51.100.2:7000 dropped\n198.51.100.3:7000 ok\n[2001:db8::2]:7000 dropped\n"
                  "[2001:db8::3]:7000 ok\n198.51.100.3:853 dropped\n[2001:db8::3]:853 dropped\n");
        EXPECT_EQ(step(name, "getent"), "0.0.0.0\n::1\n");
        const std::string table = step(name, "table");
        const std::size_t chain = table.find("chain blocked");
        const std::string sets = table.substr(0, chain);
        const std::string rules = table.substr(chain, table.find("chain output") - chain);
        int drops = 0;
        for (auto at = rules.find(" drop\n"); at != std::string::npos;
             at = rules.find(" drop\n", at + 1))
            ++drops;
        EXPECT_EQ(drops, 8) << table;
        EXPECT_NE(rules.find("ip daddr @v4 drop\n"), std::string::npos) << table;
        EXPECT_NE(sets.find("198.51.100.2"), std::string::npos) << table;
        EXPECT_NE(sets.find("2001:db8::2"), std::string::npos) << table;
        EXPECT_NE(step(name, "listing").find("active.lock"), std::string::npos);
        EXPECT_NE(step(name, "hosts").find("\n# Ka Tesmar Start\n0.0.0.0 chatgpt.com\n"),
                  std::string::npos);
    };
    // Everything reachable, no table, the hosts file byte for byte as it was.
    auto expectFree = [&](const std::string& name) {
        SCOPED_TRACE(name);
        EXPECT_EQ(step(name, "connect"),
                  "198.51.100.2:7000 ok\n198.51.100.3:7000 ok\n[2001:db8::2]:7000 ok\n"
                  "[2001:db8::3]:7000 ok\n198.51.100.3:853 ok\n[2001:db8::3]:853 ok\n");
        EXPECT_EQ(step(name, "getent").find("0.0.0.0"), std::string::npos) << step(name, "getent");
        EXPECT_TRUE(run.out(name + "/table.missing")) << step(name, "table");
        EXPECT_EQ(step(name, "ruleset"), "");
        EXPECT_EQ(step(name, "hosts"), originalHosts);
        for (const char* left :
             {"active.lock", "hosts_backup", "ka_tesmar.nft", "ka-tesmar-guardian"})
            EXPECT_EQ(step(name, "listing").find(left), std::string::npos) << left;
    };
    auto activations = [&](const std::string& log) {
        std::string lines;
        const std::string text = run.out(log).value_or("");
        const std::string line = "Blokkering geactiveerd: ";
        for (auto at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
            lines += text.substr(at + line.size(), text.find('\n', at) - at - line.size()) + "\n";
        return lines;
    };

    // The teacher's switch blocks and frees for real.
    expectFree("before");
    ASSERT_EQ(activations("driver-1.log"),
              "2 hosts, 46 firewall regels\n2 hosts, 46 firewall regels\n")
        << logs;
    expectBlocked("blocked");
    // The guardian installed and its timer enabled; a missing nscd is no error.
    EXPECT_EQ(step("blocked", "enabled"), "ka-tesmar-guardian.timer\n");
    for (const char* call : {"systemctl [--no-ask-password] [enable] [ka-tesmar-guardian.timer]\n",
                             "systemctl [--no-ask-password] [restart] [ka-tesmar-guardian.timer]\n",
                             "resolvectl [flush-caches]\n"})
        EXPECT_NE(step("blocked", "calls.log").find(call), std::string::npos) << call;
    expectFree("free");
    EXPECT_EQ(step("free", "enabled"), "") << "the timer is disabled";
    EXPECT_NE(
        step("free", "calls.log")
            .find("systemctl [--no-ask-password] [disable] [--now] [ka-tesmar-guardian.timer]\n"),
        std::string::npos);

    // The guardian restores only once nobody holds the application's lock,
    // and then takes itself out with the rest.
    expectBlocked("guardian-app-running");
    EXPECT_EQ(step("guardian-app-running", "calls.log"), "");
    expectFree("guardian-app-gone");
    EXPECT_EQ(run.out("guardian-2.out"), "Hosts hersteld vanuit backup\nOK\n");

    // Started again while the class is blocked, then the termination signal.
    ASSERT_EQ(activations("driver-2.log"), "2 hosts, 46 firewall regels\n") << logs;
    expectBlocked("blocked-again");
    EXPECT_EQ(run.out("terminated.status"), "0\n");
    expectFree("terminated");
}

}  // namespace
}  // namespace kt
