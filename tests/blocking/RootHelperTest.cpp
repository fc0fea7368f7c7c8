// The root helper: what it refuses before it touches anything, and what it
// leaves behind, run for real as root in a Linux sandbox.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "GoldenFile.h"
#include "SandboxRun.h"

namespace kt {
namespace {

using testing::commandOutput;

// "status N" after whatever the helper said on standard error.
std::string helperSays(const std::string& arguments, const std::string& input) {
    return commandOutput("printf '%s' '" + input + "' | " + arguments +
                         " 2>&1 >/dev/null; echo \"status $?\"");
}

TEST(RootHelper, RefusesScriptsUnknownVerbsOddRequestsAndOtherUsers) {
    const std::string helper = "'" KT_HELPER_PATH "'";
    const std::string usage = "gebruik: ka-tesmar-helper activate|deactivate|restore\n";
    std::string many = "{\"names\":[";
    for (int i = 0; i < 2001; ++i) many += std::string(i ? "," : "") + "\"a.example\"";
    const struct {
        std::string command, input, says;
    } rows[] = {
        {helper, "", usage},
        {helper + " activate /tmp/ka_tesmar_activate.sh", "", usage},
        {helper + " 'bash -c id'", "",
         "Onbekende opdracht: alleen activate, deactivate en restore\n"},
        // Refused before anything is written: these never reach a script.
        {helper + " activate", "not json", "Verzoek geweigerd: Verzoek is geen JSON-object\n"},
        {helper + " activate", "{\"script\":[\"rm -rf /\"]}",
         "Verzoek geweigerd: Onbekend veld in verzoek\n"},
        {helper + " activate", "{\"names\":\"chatgpt.com\"}",
         "Verzoek geweigerd: Veld is geen lijst: names\n"},
        {helper + " activate", many + "]}", "Verzoek geweigerd: Te veel items in names\n"},
        {"head -c 1100000 /dev/zero | tr '\\0' ' ' | " + helper + " activate", "",
         "Verzoek geweigerd: Verzoek te groot\n"},
        {"setpriv --reuid=65534 --regid=65534 --clear-groups " + helper + " restore", "",
         "ka-tesmar-helper moet als root draaien\n"}};
    if (::geteuid() != 0)
        GTEST_SKIP() << "the request checks come after the root check";
    for (const auto& row : rows)
        EXPECT_EQ(helperSays(row.command, row.input), row.says + "status 2\n") << row.command;
}

TEST(RootHelper, PolkitActionIsValid) {
    if (commandOutput("command -v xmllint").empty() ||
        commandOutput("ls /usr/share/polkit-1/policyconfig-1.dtd 2>/dev/null").empty())
        GTEST_SKIP() << "xmllint or polkit's DTD is not installed";
    EXPECT_EQ(
        commandOutput(
            "xmllint --noout --dtdvalid /usr/share/polkit-1/policyconfig-1.dtd '" KT_POLICY_FILE
            "' 2>&1; echo \"status $?\""),
        "status 0\n");
}

// What the helper leaves under a careless umask, when a step fails half-way,
// when its state files are links, when a disk is full and when it is killed.
TEST(RootHelper, EveryFailureLeavesTheSystemWholeAndSaysWhy) {
    testing::SandboxRun run;
    run.useLinuxSystem();
    run.put("helper.path", KT_HELPER_PATH);
    const int status = run.run("helper-faults.sh", {KT_BUILD_DIR});
    if (status == 77)
        GTEST_SKIP() << "mount, PID and network namespaces or nft are not available here: "
                     << run.log();
    ASSERT_EQ(status, 0) << run.log();
    auto out = [&](const std::string& step, const std::string& file) {
        return run.out(step + "/" + file).value_or("(missing)");
    };
    auto blocked = [&](const std::string& step) {
        return out(step, "hosts").find("# Ka Tesmar Start") != std::string::npos &&
               !run.out(step + "/table.missing");
    };
    // Not blocked at all, and the hosts file as the sandbox began.
    auto expectNothingLeft = [&](const std::string& step) {
        EXPECT_EQ(out(step, "hosts"), testing::originalHostsWithoutOldBlocks()) << step;
        EXPECT_TRUE(run.out(step + "/table.missing")) << step;
        EXPECT_EQ(out(step, "listing").find("active.lock"), std::string::npos) << step;
        EXPECT_EQ(out(step, "listing").find("ka-tesmar-guardian"), std::string::npos) << step;
    };

    // Blocked with only what may be blocked, under umask 000 all the same.
    EXPECT_EQ(out("umask", "status"), "0\n") << out("umask", "stderr");
    EXPECT_TRUE(blocked("umask")) << out("umask", "table");
    const std::string table = out("umask", "table");
    EXPECT_NE(table.find("203.0.113.7"), std::string::npos) << table;
    EXPECT_NE(table.find("198.51.100.9"), std::string::npos) << table;
    EXPECT_NE(table.find("10.0.0.0/8"), std::string::npos) << "nothing there to protect";
    for (const char* refused : {"127.0.0.1", "127.0.0.53", "1.2.3.4"})
        EXPECT_EQ(table.find(refused), std::string::npos) << refused;
    const std::string modes = out("umask", "modes");
    for (const char* mode :
         {"700 root /var/lib/ka-tesmar\n", "600 root /var/lib/ka-tesmar/active.lock\n",
          "600 root /var/lib/ka-tesmar/hosts_backup\n", "700 root /run/ka-tesmar\n",
          "644 root /etc/hosts\n", "755 root /usr/local/bin/ka-tesmar-guardian.sh\n"})
        EXPECT_NE(modes.find(mode), std::string::npos) << mode << modes;
    EXPECT_EQ(out("umask-undone", "status"), "0\n");
    expectNothingLeft("umask-undone");

    // A step that fails puts back what was there, and the answer says which.
    EXPECT_EQ(out("no-guardian", "status"), "1\n");
    EXPECT_EQ(out("no-guardian", "stderr"), "Kon de bewaker niet installeren\n");
    expectNothingLeft("no-guardian");

    // A backup that is a link is never put back.
    EXPECT_EQ(out("link-backup", "status"), "0\n") << out("link-backup", "stderr");
    EXPECT_NE(out("link-backup", "stdout").find("alleen de Ka Tesmar-blokken verwijderd"),
              std::string::npos);
    expectNothingLeft("link-backup");
    EXPECT_EQ(out("link-lock", "status"), "1\n");
    EXPECT_NE(out("link-lock", "stderr").find("geen bestand van root: geweigerd"),
              std::string::npos);
    EXPECT_EQ(out("link-lock", "hosts"), testing::originalHostsWithoutOldBlocks());

    // Full disks: a failure is reported and the hosts file is never empty or partial.
    EXPECT_EQ(out("full-state", "status"), "1\n");
    EXPECT_EQ(out("full-state", "stderr"), "Kon de hosts-backup niet schrijven\n");
    EXPECT_EQ(out("full-state", "hosts"), testing::originalHostsWithoutOldBlocks());
    EXPECT_EQ(out("full-restore", "status"), "1\n");
    EXPECT_EQ(out("full-restore", "stderr"), "Niet hersteld: hosts-bestand\n");
    EXPECT_EQ(out("full-restore", "hosts"), out("blocked-2", "hosts"));
    EXPECT_TRUE(blocked("full-restore")) << "fully blocked, never half";
    EXPECT_NE(out("full-restore", "listing").find("ka-tesmar-guardian.sh"), std::string::npos)
        << "the guardian stays to try again";
    EXPECT_EQ(out("full-activate", "status"), "1\n");
    EXPECT_EQ(out("full-activate", "hosts"), out("blocked-2", "hosts"));
    EXPECT_TRUE(blocked("full-activate")) << "the block before it stays whole";
    for (const char* kept : {"active.lock", "ka-tesmar-guardian.sh"})
        EXPECT_NE(out("full-activate", "listing").find(kept), std::string::npos) << kept;
    EXPECT_EQ(out("room-again", "status"), "0\n") << out("room-again", "stderr");
    expectNothingLeft("room-again");
    EXPECT_EQ(out("full-run", "status"), "1\n");
    EXPECT_EQ(out("full-run", "stderr"), "Kon het script niet schrijven\n");
    EXPECT_TRUE(blocked("full-run"));
    expectNothingLeft("done");

    // Killed half-way: the guardian repairs it.
    EXPECT_NE(out("killed", "listing").find("active.lock"), std::string::npos);
    EXPECT_EQ(out("guardian", "status"), "0\n") << out("guardian", "stdout");
    expectNothingLeft("guardian");
}

}  // namespace
}  // namespace kt
