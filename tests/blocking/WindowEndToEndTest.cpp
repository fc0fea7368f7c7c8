// The real window for real, as root in a fresh network, mount and PID
// namespace with real nftables and a name server that drops every query
// (sandbox/window-e2e.sh): driven by keyboard under Xvfb, it follows the
// teacher's switch at the reference service on the namespace's loopback,
// and Ctrl+Q during an activation's lookups ends it with the network restored.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "SandboxRun.h"

namespace kt {
namespace {

// The sanitizers slow every process of the run down; the plain build holds
// the real limits.
constexpr double slowdown = KT_SANITIZED ? 1.5 : 1.0;

using testing::SandboxRun;

// A Debian hosts file.
const std::string originalHosts =
    "127.0.0.1\tlocalhost\n127.0.1.1\tleerling-pc\n\n"
    "::1     localhost ip6-localhost ip6-loopback\nff02::1 ip6-allnodes\n";

TEST(WindowEndToEnd, KeyboardPupilSwitchesOnOffOnAndQuitsDuringTheLookups) {
    ASSERT_EQ(
        std::system("'" KT_SOURCE_DIR "/scripts/reference-certificate.sh' '" KT_BUILD_DIR "'"), 0);
    SandboxRun run;
    run.useLinuxSystem();
    run.put("hosts.original", originalHosts);
    run.put("build.path", KT_BUILD_DIR);
    const int status = run.run("window-e2e.sh", {KT_BUILD_DIR});
    if (status == 77)
        GTEST_SKIP() << "network, mount and PID namespaces, IPv6 on loopback or nft are "
                        "not available here: "
                     << run.log();
    const std::string logs = "\n--- timeouts\n" + run.out("timeouts").value_or("-") +
                             "\n--- window.log\n" + run.out("window.log").value_or("-") +
                             "\n--- service.log\n" + run.out("service.log").value_or("-");
    ASSERT_EQ(status, 0) << run.log() << logs;
    auto step = [&](const std::string& name, const std::string& file) {
        return run.out(name + "/" + file).value_or("(missing)");
    };
    auto seconds = [&](const std::string& file) {
        return std::atof(run.out(file).value_or("1e9").c_str());
    };
    auto expectBlocked = [&](const std::string& name) {
        SCOPED_TRACE(name);
        EXPECT_EQ(step(name, "connect"), "198.51.100.2:7000 dropped\n198.51.100.3:7000 ok\n");
        EXPECT_NE(step(name, "table").find("198.51.100.2"), std::string::npos);
        EXPECT_NE(step(name, "hosts").find("0.0.0.0 chatgpt.com\n"), std::string::npos);
        // A poll at most 5 s after the switch, the lookups and the run within 3 s.
        EXPECT_LE(seconds(name + "/seconds"), 8.0 * slowdown);
    };
    auto expectFree = [&](const std::string& name) {
        SCOPED_TRACE(name);
        EXPECT_EQ(step(name, "connect"), "198.51.100.2:7000 ok\n198.51.100.3:7000 ok\n");
        EXPECT_TRUE(run.out(name + "/table.missing")) << step(name, "table");
        EXPECT_EQ(step(name, "hosts"), originalHosts) << "byte for byte";
    };

    std::printf("switch to block in force: %.2f s and %.2f s; window gone %.2f s after Ctrl+Q\n",
                seconds("blocked-1/seconds"), seconds("blocked-2/seconds"),
                seconds("quit.seconds"));
    expectFree("before");
    expectBlocked("blocked-1");
    expectFree("free-1");
    expectBlocked("blocked-2");
    // The quit: hold, restore and the session's deletion, not the lookups.
    EXPECT_LE(seconds("quit.seconds"), 6.0 * slowdown) << logs;
    expectFree("quit");
    EXPECT_NE(run.out("window.log")
                  .value_or("")
                  .find("Blokkering activeren overgeslagen: programma stopt"),
              std::string::npos)
        << logs;
}

}  // namespace
}  // namespace kt
