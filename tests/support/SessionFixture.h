#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TestPorts.h"
#include "app/AppState.h"
#include "blocking/SystemProfile.h"

namespace kt::testing {

// A real AppState on fakes, with helpers to play the class service and the
// administrator's password prompt.
class SessionFixture : public ::testing::Test {
  protected:
    TestPorts fakes;
    std::shared_ptr<AppState> state;

    // Every privileged script that was run, in order, and whether the
    // password prompt lets the next ones through.
    std::vector<std::string> privilegedScripts;
    bool promptAccepted = true;
    std::string promptError = "User canceled. (-128)";

    void SetUp() override {
        fakes.processes.setHandler([this](const ProcessRequest& request) {
            if (request.program != "/usr/bin/osascript")
                return FakeProcessRunner::exited(0);
            privilegedScripts.push_back(scriptOf(request));
            return promptAccepted ? FakeProcessRunner::exited(0, "OK\n")
                                  : FakeProcessRunner::exited(1, "", promptError + "\n");
        });
        state = AppState::create(fakes.ports());
        settle();
        state->debugLog = "";
    }

    // Runs the main queue and the workers until neither has anything to do.
    void settle() {
        for (int round = 0; round < 100; ++round) {
            const auto ran = fakes.scheduler.runUntilIdle() + fakes.workers.runAll();
            if (ran == 0)
                return;
        }
        FAIL() << "the main queue and the workers never came to rest";
    }

    // A logged-in session with polling running, as a login leaves it.
    void loggedIn(const std::string& token = "tok-1") {
        state->sessionToken = token;
        state->studentName = "Jan Jansen";
        state->className = "4B";
        state->savedStudentName = "Jan Jansen";
        state->savedClassCode = "ABC123";
        state->isLoggedIn = true;
        state->startPolling();
    }

    // Answers the newest status request with `body` and lets everything settle.
    void statusReply(const std::string& body, int status = 200) {
        fakes.http.respondLast(status, body);
        settle();
    }

    // How many requests of the whole test went to the login endpoint.
    std::size_t logins() const {
        std::size_t n = 0;
        for (std::size_t i = 0; i < fakes.http.count(); ++i)
            if (fakes.http.request(i).url.find("class-login.php") != std::string::npos)
                ++n;
        return n;
    }

    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        const std::string& log = state->debugLog.get();
        std::size_t start = 0;
        while (start < log.size()) {
            auto end = log.find('\n', start);
            if (end == std::string::npos)
                end = log.size();
            const std::string line = log.substr(start, end - start);
            // "[hh:mm:ss] message": keep the message; newest first as in the log.
            lines.push_back(line.size() > 11 ? line.substr(11) : line);
            start = end + 1;
        }
        return lines;
    }
    bool logged(const std::string& message) const {
        for (const auto& line : logLines())
            if (line == message)
                return true;
        return false;
    }

  private:
    // The script the AppleScript source runs: its path stands between the
    // quotes after "do shell script".
    std::string scriptOf(const ProcessRequest& request) const {
        const std::string& source = request.arguments.at(1);
        const auto start = source.find("/tmp/ka_tesmar.");
        const auto end = source.find(".sh", start);
        if (start == std::string::npos || end == std::string::npos)
            return "?";
        const auto file = fakes.files.file(source.substr(start, end + 3 - start));
        return file ? file->content : "(script file missing)";
    }
};

}  // namespace kt::testing
