// ka-tesmar-admin, run as its own process: what it says beside the scripts it
// prints (those are compared with the golden files in tests/blocking). No test
// here looks up addresses: that would send DNS queries off this machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "TestFiles.h"
#include "platform/system/PosixProcessRunner.h"

namespace kt {
namespace {

const std::string replyFile = "--reply '" KT_TEST_DATA_DIR "/reply.json'";

ProcessResult admin(const std::string& arguments) {
    return PosixProcessRunner().run({"/bin/sh",
                                     {"-c", "'" KT_ADMIN_PATH "' " + arguments},
                                     ProcessOutput::Capture,
                                     ProcessOutput::Capture});
}

// The rules with both counters and the rejected input named; the status names
// the five things of the profile; bad arguments and files give one line and
// status 2.
TEST(AdminCommand, RulesStatusAndBadArguments) {
    const testing::ScratchDir scratch("kt-admin-test");
    const std::string dir = scratch.path;
    const ProcessResult rules = admin("rules " + replyFile + " --no-lookup");
    EXPECT_EQ(rules.exitStatus, 0);
    EXPECT_TRUE(rules.standardOutput.starts_with("block drop quick from any to 104.18.26.0/24\n"));
    EXPECT_TRUE(rules.standardOutput.ends_with(
        "block drop quick proto udp from any to any port 853\nhosts=8 firewall=47\n"));
    EXPECT_EQ(std::count(rules.standardOutput.begin(), rules.standardOutput.end(), '\n'), 48);
    std::ofstream(dir + "/hostile.json")
        << R"({"domains": ["a.nl", "b'; reboot"], "ips": ["1.2.3.4 port 22"]})";
    const ProcessResult checked = admin("rules --reply '" + dir + "/hostile.json' --no-lookup");
    EXPECT_EQ(checked.exitStatus, 0);
    EXPECT_TRUE(checked.standardOutput.ends_with("hosts=2 firewall=44\n"));
    EXPECT_EQ(checked.standardError,
              "WAARSCHUWING: Ongeldige invoer niet gebruikt: domeinnamen \"b'; reboot\"; "
              "IP-adressen \"1.2.3.4 port 22\"\n");
    // A list with one element of another type counts as missing, as in the application.
    std::ofstream(dir + "/mixed.json")
        << R"({"domains": ["a.nl", 3], "ips": ["198.51.100.1"], "is_blocked": true})";
    EXPECT_TRUE(admin("rules --reply '" + dir + "/mixed.json' --no-lookup")
                    .standardOutput.ends_with("\nhosts=0 firewall=45\n"));
    const std::string native = admin("status").standardOutput;
    for (const char* what : {"lock file: ", "backup: ", "hosts block: ", "guardian: ",
                             "\nanchor: absent (/var/lib/ka-tesmar/ka_tesmar.nft)"})
        EXPECT_NE(native.find(what), std::string::npos) << what;
    EXPECT_NE(admin("status --profile macos")
                  .standardOutput.find("\nanchor: absent (/etc/pf.anchors/ka.tesmar)"),
              std::string::npos);
    std::ofstream(dir + "/not-json.json") << "{ domains: ";
    std::ofstream(dir + "/array.json") << "[1, 2]";
    for (const std::string& arguments : std::vector<std::string>{
             "", "frobnicate", "script", "script activate --profile macos",
             "script activate --reply x", "script activate --profile windows " + replyFile,
             "script deactivate --profile macos --no-lookup",
             "script restore --variant sometimes --profile macos --backup present",
             "script restore --variant manual --profile macos",
             "script restore --variant manual --profile macos --backup maybe", "rules --reply",
             "rules --reply /nonexistent/reply.json", "rules --reply " + dir + "/not-json.json",
             "rules --reply " + dir + "/array.json --no-lookup", "status --unknown",
             "rules --reply a --reply b"}) {
        const ProcessResult result = admin(arguments);
        EXPECT_EQ(result.exitStatus, 2) << arguments;
        EXPECT_EQ(result.standardOutput, "") << arguments;
        EXPECT_TRUE(result.standardError.starts_with("ka-tesmar-admin: ") &&
                    std::count(result.standardError.begin(), result.standardError.end(), '\n') == 1)
            << arguments << ": " << result.standardError;
    }
}

}  // namespace
}  // namespace kt
