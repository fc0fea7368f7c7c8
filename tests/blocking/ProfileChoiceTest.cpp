// The profile named in the ports is the one every path of the state uses,
// the construction sequence included.
#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "blocking/SystemProfile.h"

namespace kt {
namespace {

// An earlier run's lock file is there at the start.
class ProfileChoice : public testing::SessionFixture {
    void SetUp() override {
        fakes.files.putFile("/var/lib/ka-tesmar/active.lock", "active\n");
        start();
    }
};

// On Linux every step goes through the root helper, and the start-up and
// signal restores wait for it; no shell text is ever handed over.
TEST_F(ProfileChoice, LinuxHandsEveryStepToTheRootHelper) {
    // The lock file of the other system is not this one's.
    testing::TestPorts macosLock;
    macosLock.files.putFile("/Library/Application Support/KaTesmar/active.lock", "active\n");
    AppState::create(macosLock.ports());
    EXPECT_TRUE(macosLock.processes.requests().empty());

    EXPECT_EQ(&state->systemProfile(), profileNamed("linux"));
    EXPECT_EQ(privilegedRuns, std::vector<std::string>{"restore"});  // in the construction
    state->blockedDomains = std::vector<std::string>{"chatgpt.com", "bad name"};
    state->blockIPs = {"203.0.113.2", "2001:db8::2"};
    state->activateBlocking();
    settle();
    EXPECT_EQ(privilegedRuns, (std::vector<std::string>{"restore", "activate"}));
    EXPECT_TRUE(lastActivationRequest.starts_with("{\"names\":[\"chatgpt.com\"]"))
        << lastActivationRequest.substr(0, 80);
    EXPECT_EQ(state->statusMessage.get(), std::optional<std::string>("Blokkering actief"));
    EXPECT_EQ(state->firewallCount.get(), 46);
    bool closedOwnBrowsers = false;  // by the application, as the pupil
    for (const auto& request : fakes.processes.requests()) {
        EXPECT_NE(request.program, "/bin/sh");
        closedOwnBrowsers |=
            request.program == "/usr/bin/pkill" &&
            request.arguments == std::vector<std::string>{"-x", "-U", "1000", "firefox"};
    }
    EXPECT_TRUE(closedOwnBrowsers);

    state->deactivateBlocking();
    settle();
    EXPECT_EQ(privilegedRuns.back(), "deactivate");
    // Last: after the signal's response the process ends.
    ASSERT_TRUE(fakes.terminationSignal.response);
    fakes.terminationSignal.response();
    EXPECT_EQ(privilegedRuns.back(), "restore");
}

}  // namespace
}  // namespace kt
