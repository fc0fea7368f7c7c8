// The profile named in the ports is the one every path of the state uses,
// the construction sequence included.
#include <gtest/gtest.h>

#include "TestPorts.h"
#include "app/AppState.h"
#include "blocking/SystemProfile.h"

namespace kt {
namespace {

const SystemProfile& linuxProfile() {
    return *profileNamed("linux");
}

std::vector<std::string> shellCommands(const testing::FakeProcessRunner& processes) {
    std::vector<std::string> commands;
    for (const auto& request : processes.requests())
        if (request.program == "/bin/sh" && request.arguments.size() == 2)
            commands.push_back(request.arguments[1]);
    return commands;
}

TEST(ProfileChoice, LinuxReachesStartupCleanupSignalActivationAndUndo) {
    testing::TestPorts fakes;
    Ports ports = fakes.ports();
    ports.systemProfile = "linux";
    fakes.files.putFile("/var/lib/ka-tesmar/active.lock", "active\n");
    fakes.files.putFile("/var/lib/ka-tesmar/hosts_backup", "127.0.0.1 localhost\n");
    // The privileged runs: remember each script as it was when it ran.
    std::vector<std::string> scripts;
    fakes.processes.setHandler([&](const ProcessRequest& request) {
        if (request.program == "/usr/bin/osascript") {
            const std::string& source = request.arguments.at(1);
            const auto start = source.find("/tmp/");
            const auto end = source.find(".sh", start);
            auto file = fakes.files.file(source.substr(start, end + 3 - start));
            scripts.push_back(file ? file->content : "(missing)");
        }
        return testing::FakeProcessRunner::exited(0, "OK\n");
    });

    auto settle = [&] {
        for (int round = 0; round < 10; ++round) {
            fakes.scheduler.runUntilIdle();
            fakes.workers.runAll();
        }
    };

    auto state = AppState::create(ports);
    EXPECT_EQ(state->systemProfileName, "linux");
    EXPECT_EQ(&state->systemProfile(), &linuxProfile());
    // The lock of this profile started the restore inside the construction.
    ASSERT_EQ(
        shellCommands(fakes.processes),
        std::vector<std::string>{linuxProfile().restoreCommand(RestoreVariant::Automatic, true)});

    state->blockedDomains = std::vector<std::string>{"chatgpt.com"};
    state->blockIPs = {"127.0.0.2", "2001:db8::2"};
    state->activateBlocking();
    settle();
    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_NE(scripts[0].find("nft -f '/var/lib/ka-tesmar/ka_tesmar.nft'; "), std::string::npos);
    EXPECT_NE(scripts[0].find("    ip daddr 127.0.0.2 drop\n"), std::string::npos);
    EXPECT_NE(scripts[0].find("    ip6 daddr 2001:db8::2 drop\n"), std::string::npos);
    EXPECT_EQ(state->firewallCount.get(), 46);

    state->deactivateBlocking();
    settle();
    ASSERT_EQ(scripts.size(), 2u);
    EXPECT_EQ(scripts[1], linuxProfile().undoCommand());

    // Last: after the signal's response the process ends.
    ASSERT_TRUE(fakes.terminationSignal.response);
    fakes.terminationSignal.response();
    EXPECT_EQ(shellCommands(fakes.processes).back(),
              linuxProfile().restoreCommand(RestoreVariant::Signal, false));
}

TEST(ProfileChoice, LockFileOfTheOtherSystemIsNotThisOnesAndMacosStaysTheDefault) {
    testing::TestPorts fakes;
    fakes.files.putFile("/Library/Application Support/KaTesmar/active.lock", "active\n");
    Ports ports = fakes.ports();
    ports.systemProfile = "linux";
    auto state = AppState::create(ports);
    EXPECT_TRUE(shellCommands(fakes.processes).empty());

    testing::TestPorts defaults;
    EXPECT_EQ(AppState::create(defaults.ports())->systemProfile().name(), "macos");
#ifdef __linux__
    EXPECT_EQ(nativeProfileName(), "linux");
#endif
}

}  // namespace
}  // namespace kt
