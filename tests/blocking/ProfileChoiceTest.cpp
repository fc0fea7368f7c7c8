// The profile named in the ports is the one every path of the state uses,
// the construction sequence included.
#include <gtest/gtest.h>

#include "TestPorts.h"
#include "app/AppState.h"
#include "blocking/PrivilegeStrategies.h"
#include "blocking/SystemProfile.h"

namespace kt {
namespace {

// On Linux every step goes through the root helper, and the start-up and
// signal restores wait for it; no shell text is ever handed over.
TEST(ProfileChoice, LinuxHandsEveryStepToTheRootHelper) {
    testing::TestPorts fakes;
    Ports ports = fakes.ports();
    // The lock file of the other system is not this one's.
    testing::TestPorts macosLock;
    macosLock.files.putFile("/Library/Application Support/KaTesmar/active.lock", "active\n");
    AppState::create(macosLock.ports());
    EXPECT_TRUE(macosLock.processes.requests().empty());

    fakes.files.putFile("/var/lib/ka-tesmar/active.lock", "active\n");
    fakes.processes.setHandler(
        [](const ProcessRequest&) { return testing::FakeProcessRunner::exited(0, "OK\n"); });
    // "verb" and its input for each run of the root helper through pkexec.
    auto settle = [&] { fakes.settle(); };
    auto helperRuns = [&] {
        std::vector<std::string> runs;
        for (const auto& request : fakes.processes.requests()) {
            EXPECT_NE(request.program, "/bin/sh");
            if (request.program == "/usr/bin/pkexec")
                runs.push_back(request.arguments.at(1) + request.standardInput);
        }
        return runs;
    };

    auto state = AppState::create(ports);  // the start-up restore waits for the helper
    EXPECT_EQ(&state->systemProfile(), profileNamed("linux"));
    EXPECT_EQ(helperRuns(), std::vector<std::string>{"restore"});

    state->blockedDomains = std::vector<std::string>{"chatgpt.com", "bad name"};
    state->blockIPs = {"203.0.113.2", "2001:db8::2"};
    state->activateBlocking();
    settle();
    ASSERT_EQ(helperRuns().size(), 2u);
    EXPECT_TRUE(helperRuns()[1].starts_with("activate{")) << helperRuns()[1].substr(0, 80);
    EXPECT_NE(helperRuns()[1].find("\"names\":[\"chatgpt.com\"]"), std::string::npos);
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
    EXPECT_EQ(helperRuns().back(), "deactivate");
    // Last: after the signal's response the process ends.
    ASSERT_TRUE(fakes.terminationSignal.response);
    fakes.terminationSignal.response();
    EXPECT_EQ(helperRuns().back(), "restore");
}

}  // namespace
}  // namespace kt
