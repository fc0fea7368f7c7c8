// ka-tesmar-admin, run as its own process. No test here looks up addresses:
// that would send DNS queries off this machine.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "GoldenFile.h"

namespace kt {
namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// A folder of its own for each test: tests run side by side as processes.
class ScratchDir {
  public:
    ScratchDir() {
        char pattern[] = "/tmp/kt-admin-test.XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~ScratchDir() { std::filesystem::remove_all(path); }
    std::string path;
};

Result admin(const std::string& arguments) {
    ScratchDir scratch;
    std::string errPath = scratch.path + "/stderr.txt";
    std::string command = "'" KT_ADMIN_PATH "' " + arguments + " 2>'" + errPath + "'";
    Result result;
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) result.out.append(buffer, n);
    int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = testing::commandOutput("cat '" + errPath + "'");
    return result;
}

const std::string reply = "--reply '" KT_TEST_DATA_DIR "/reply.json'";

TEST(AdminCommand, PrintsTheScriptsExactlyAsTheApplicationBuildsThem) {
    Result activate = admin("script activate --profile macos " + reply +
                            " --home '/Users/leerling met spatie' --no-lookup");
    EXPECT_EQ(activate.status, 0) << activate.err;
    EXPECT_EQ(activate.out, testing::goldenText("activate-no-lookup.sh"));
    EXPECT_EQ(activate.err, "");

    EXPECT_EQ(admin("script deactivate --profile macos").out, testing::goldenText("deactivate.sh"));
    for (std::string variant : {"automatic", "manual"})
        for (std::string backup : {"present", "absent"})
            EXPECT_EQ(
                admin("script restore --variant " + variant + " --profile macos --backup " + backup)
                    .out,
                testing::goldenText("restore-" + variant + "-backup-" + backup + ".sh"));
    EXPECT_EQ(admin("script restore --variant signal --profile macos --backup absent").out,
              testing::goldenText("restore-signal.sh"));
    EXPECT_EQ(admin("script restore --profile macos --variant signal").out,
              testing::goldenText("restore-signal.sh"));
}

TEST(AdminCommand, PrintsTheLinuxScriptsToo) {
    Result activate = admin("script activate --profile linux " + reply +
                            " --home '/home/leerling met spatie' --no-lookup");
    EXPECT_EQ(activate.status, 0) << activate.err;
    EXPECT_EQ(activate.out, testing::goldenText("linux-activate-no-lookup.sh"));
    EXPECT_TRUE(admin("script deactivate --profile linux").out ==
                testing::goldenText("linux-restore.sh"));
    EXPECT_TRUE(admin("script restore --variant manual --profile linux --backup present").out ==
                testing::goldenText("linux-restore.sh"));
}

TEST(AdminCommand, RulesWithBothCountersAndTheRejectedInputNamed) {
    Result rules = admin("rules " + reply + " --no-lookup");
    EXPECT_EQ(rules.status, 0);
    std::string expectedTail =
        "block drop quick proto udp from any to any port 853\nhosts=8 firewall=47\n";
    EXPECT_TRUE(rules.out.ends_with(expectedTail)) << rules.out;
    EXPECT_TRUE(rules.out.starts_with("block drop quick from any to 104.18.26.0/24\n"));
    EXPECT_EQ(std::count(rules.out.begin(), rules.out.end(), '\n'), 48);

    ScratchDir scratch;
    std::string hostile = scratch.path + "/hostile-reply.json";
    std::ofstream(hostile) << R"({"domains": ["a.nl", "b'; reboot"], "ips": ["1.2.3.4 port 22"]})";
    // A list with one element of another type counts as missing, as in the application.
    std::string mixed = scratch.path + "/mixed-reply.json";
    std::ofstream(mixed)
        << R"({"domains": ["a.nl", 3], "ips": ["198.51.100.1"], "is_blocked": true})";
    EXPECT_TRUE(admin("rules --reply '" + mixed + "' --no-lookup")
                    .out.ends_with("\nhosts=0 firewall=45\n"));

    Result checked = admin("rules --reply '" + hostile + "' --no-lookup");
    EXPECT_EQ(checked.status, 0);
    EXPECT_TRUE(checked.out.ends_with("hosts=2 firewall=44\n"));
    EXPECT_EQ(
        checked.err,
        "WAARSCHUWING: Ongeldige invoer niet gebruikt: domeinnamen \"b'; reboot\"; IP-adressen "
        "\"1.2.3.4 port 22\"\n");
}

TEST(AdminCommand, BadArgumentsAndFilesGiveOneLineAndStatusTwo) {
    ScratchDir scratch;
    const std::string& dir = scratch.path;
    std::ofstream(dir + "/kt-not-json.json") << "{ domains: ";
    std::ofstream(dir + "/kt-array.json") << "[1, 2]";
    for (const std::string& arguments : std::vector<std::string>{
             "", "frobnicate", "script", "script activate --profile macos",
             "script activate --reply x", "script activate --profile windows " + reply,
             "script deactivate --profile macos --no-lookup",
             "script restore --variant sometimes --profile macos --backup present",
             "script restore --variant manual --profile macos",
             "script restore --variant manual --profile macos --backup maybe", "rules --reply",
             "rules --reply /nonexistent/reply.json", "rules --reply " + dir + "/kt-not-json.json",
             "rules --reply " + dir + "/kt-array.json --no-lookup", "status --unknown",
             "rules --reply a --reply b"}) {
        Result result = admin(arguments);
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_EQ(result.out, "") << arguments;
        EXPECT_TRUE(result.err.starts_with("ka-tesmar-admin: ")) << arguments << ": " << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << arguments;
    }
}

TEST(AdminCommand, StatusNamesTheFiveThings) {
    Result status = admin("status");
    EXPECT_EQ(status.status, 0);
    for (const char* what : {"lock file: ", "backup: ", "hosts block: ", "anchor: ", "guardian: "})
        EXPECT_NE(("\n" + status.out).find(std::string("\n") + what), std::string::npos) << what;
    // Without --profile: the profile of the system it was built for.
    EXPECT_NE(status.out.find("anchor: absent (/var/lib/ka-tesmar/ka_tesmar.nft)"),
              std::string::npos);
    Result macos = admin("status --profile macos");
    EXPECT_NE(macos.out.find("anchor: absent (/etc/pf.anchors/ka.tesmar)"), std::string::npos);
}

}  // namespace
}  // namespace kt
