// The profile named in the ports is the one every path of the state uses,
// the construction sequence included.
#include <gtest/gtest.h>

#include "TestPorts.h"
#include "app/AppState.h"
#include "blocking/PrivilegeStrategies.h"
#include "blocking/SystemProfile.h"

namespace kt {
namespace {

const SystemProfile& linuxProfile() {
    return *profileNamed("linux");
}

// "verb" for each run of the root helper through pkexec, with its input.
std::vector<std::string> helperRuns(const testing::FakeProcessRunner& processes) {
    std::vector<std::string> runs;
    for (const auto& request : processes.requests())
        if (request.program == "/usr/bin/pkexec" && request.arguments.size() == 2)
            runs.push_back(request.arguments[1] + request.standardInput);
    return runs;
}

// On Linux every step goes through the root helper, and the start-up and
// signal restores wait for it; no shell text is ever handed over.
TEST(ProfileChoice, LinuxHandsEveryStepToTheRootHelper) {
    testing::TestPorts fakes;
    Ports ports = fakes.ports();
    ports.systemProfile = "linux";
    PkexecStrategy pkexec("/usr/libexec/ka-tesmar/ka-tesmar-helper");
    ports.privilege = &pkexec;
    fakes.files.putFile("/var/lib/ka-tesmar/active.lock", "active\n");
    fakes.processes.setHandler(
        [](const ProcessRequest&) { return testing::FakeProcessRunner::exited(0, "OK\n"); });
    auto settle = [&] {
        for (int round = 0; round < 10; ++round) {
            fakes.scheduler.runUntilIdle();
            fakes.workers.runAll();
        }
    };

    auto state = AppState::create(ports);
    EXPECT_EQ(&state->systemProfile(), &linuxProfile());
    EXPECT_EQ(helperRuns(fakes.processes), std::vector<std::string>{"restore"});

    state->blockedDomains = std::vector<std::string>{"chatgpt.com", "bad name"};
    state->blockIPs = {"203.0.113.2", "2001:db8::2"};
    state->activateBlocking();
    settle();
    ASSERT_EQ(helperRuns(fakes.processes).size(), 2u);
    const std::string activation = helperRuns(fakes.processes)[1];
    EXPECT_TRUE(activation.starts_with("activate{")) << activation.substr(0, 80);
    EXPECT_NE(activation.find("\"names\":[\"chatgpt.com\"]"), std::string::npos);
    EXPECT_EQ(state->statusMessage.get(), std::optional<std::string>("Blokkering actief"));
    EXPECT_EQ(state->firewallCount.get(), 46);
    // The pupil's own browsers closed by the application, as the pupil.
    bool closedOwnBrowsers = false;
    for (const auto& request : fakes.processes.requests())
        closedOwnBrowsers |=
            request.program == "/usr/bin/pkill" &&
            request.arguments == std::vector<std::string>{"-x", "-U", "1000", "firefox"};
    EXPECT_TRUE(closedOwnBrowsers);

    state->deactivateBlocking();
    settle();
    EXPECT_EQ(helperRuns(fakes.processes).back(), "deactivate");
    for (const auto& request : fakes.processes.requests()) EXPECT_NE(request.program, "/bin/sh");

    // Last: after the signal's response the process ends.
    ASSERT_TRUE(fakes.terminationSignal.response);
    fakes.terminationSignal.response();
    EXPECT_EQ(helperRuns(fakes.processes).back(), "restore");
}

TEST(ProfileChoice, LockFileOfTheOtherSystemIsNotThisOnesAndMacosStaysTheDefault) {
    testing::TestPorts fakes;
    fakes.files.putFile("/Library/Application Support/KaTesmar/active.lock", "active\n");
    Ports ports = fakes.ports();
    ports.systemProfile = "linux";
    auto state = AppState::create(ports);
    EXPECT_TRUE(fakes.processes.requests().empty());

    testing::TestPorts defaults;
    EXPECT_EQ(AppState::create(defaults.ports())->systemProfile().name(), "macos");
#ifdef __linux__
    EXPECT_EQ(nativeProfileName(), "linux");
#endif
}

}  // namespace
}  // namespace kt
