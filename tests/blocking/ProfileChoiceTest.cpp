// On Linux the state hands every step to the root helper; the other system's
// traces are not this one's.
#include <gtest/gtest.h>

#include "SessionFixture.h"

namespace kt {
namespace {

class ProfileChoice : public testing::SessionFixture {};

TEST_F(ProfileChoice, LinuxRunsNoShellTextAndClosesThePupilsOwnBrowsers) {
    testing::TestPorts macosLock;
    macosLock.files.putFile("/Library/Application Support/KaTesmar/active.lock", "active\n");
    AppState::create(macosLock.ports());
    EXPECT_TRUE(macosLock.processes.requests().empty()) << "no start-up restore";

    state->blockedDomains = std::vector<std::string>{"chatgpt.com"};
    state->activateBlocking();
    settle();
    state->deactivateBlocking();
    settle();
    EXPECT_EQ(privilegedRuns, (std::vector<std::string>{"activate", "deactivate"}));
    bool closedOwnBrowsers = false;  // by the application, as the pupil
    for (const auto& request : fakes.processes.requests()) {
        EXPECT_NE(request.program, "/bin/sh");
        closedOwnBrowsers |=
            request.program == "/usr/bin/pkill" &&
            request.arguments == std::vector<std::string>{"-x", "-U", "1000", "firefox"};
    }
    EXPECT_TRUE(closedOwnBrowsers);
}

}  // namespace
}  // namespace kt
