// The real application ended the hard ways while blocked, as root in the
// tests' throwaway Linux system (tests/support/sandbox), where it
// blocks with the linux profile: the hosts file and a real nftables table.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "SandboxRun.h"

namespace kt {
namespace {

using testing::SandboxRun;

void expectBlocked(const SandboxRun& run, const std::string& step) {
    EXPECT_TRUE(run.out(step + "/lock")) << step << ": no lock file";
    EXPECT_NE(run.out(step + "/hosts").value_or("").find("# Ka Tesmar Start"), std::string::npos)
        << step << ": no block in the hosts file";
    const std::string table = run.out(step + "/table").value_or("");
    EXPECT_TRUE(table.find("ip daddr @v4 drop") != std::string::npos &&
                table.find("203.0.113.7") != std::string::npos)
        << step << ": no firewall table";
}

// The hosts file byte for byte as it was before the block; nothing else left.
void expectRestored(const SandboxRun& run, const std::string& step,
                    const std::optional<std::string>& hostsBefore) {
    ASSERT_TRUE(hostsBefore.has_value()) << step;
    EXPECT_EQ(run.out(step + "/hosts"), *hostsBefore) << step;
    for (const char* file : {"lock", "backup", "anchor", "guardian.plist", "table"})
        EXPECT_TRUE(run.out(step + "/" + file + ".missing")) << step << ": " << file << " left";
}

TEST(AppFaults, KilledWhileBlockedIsRestoredAtTheNextStartAndSigtermRestoresAndExitsZero) {
    SandboxRun run;
    run.useLinuxSystem();
    run.put("app.path", KT_APP_PATH);
    run.put("helper.path", KT_HELPER_PATH);
    run.put("pkexec.path", KT_PKEXEC_STANDIN);
    const int status = run.run(KT_SCENARIO_DIR "/app-faults.sh", {KT_BUILD_DIR});
    if (status == 77)
        GTEST_SKIP() << "mount, PID and network namespaces or nft are not available here: "
                     << run.log();
    ASSERT_EQ(status, 0) << run.log();
    ASSERT_FALSE(run.out("timeouts")) << *run.out("timeouts") << run.out("app-2.log").value_or("");

    // SIGKILL: the block and its lock file stay behind.
    EXPECT_EQ(run.out("app-1.status"), "137\n");
    expectBlocked(run, "killed");

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
    expectRestored(run, "restarted", testing::originalHostsWithoutOldBlocks());
    EXPECT_EQ(run.out("app-2.status"), "0\n");

    // SIGTERM while blocked: the signal command ran in a shell, exit status 0.
    expectBlocked(run, "blocked-3");
    EXPECT_EQ(run.out("app-3.status"), "0\n") << run.out("app-3.log").value_or("");
    // The hosts file as the activation found it (the shutdown of the second
    // run took the legacy block out of it already).
    expectRestored(run, "terminated", run.out("blocked-3/backup"));
}

}  // namespace
}  // namespace kt
