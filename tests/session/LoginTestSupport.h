#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TestPorts.h"
#include "app/AppState.h"

namespace kt::testing {

// A fresh AppState on fakes, configured for a class service at klas.example.
class LoginFlowTest : public ::testing::Test {
  protected:
    static constexpr const char* base = "https://klas.example/Vexlo/api/";
    static constexpr const char* probe = "https://probe.example/";

    void SetUp() override {
        state = AppState::create(fakes.ports());
        state->apiBaseURL = base;
        state->probeURL = probe;
        fakes.networkInterfaces.interfaces = {{"lo", "00:00:00:00:00:00", true},
                                              {"en0", "A4:83:E7:12:0B:9F", false}};
        fakes.systemInformation.version = "Version 13.6 (Build 22G120)";
        // Start-up lines are not the login's.
        run();
        state->debugLog = "";
    }

    void run() { fakes.scheduler.runUntilIdle(); }

    // Starts a login and answers both probes with `status`.
    void loginUpToTheRequest(const std::string& name, const std::string& code, int status = 200) {
        const std::size_t first = fakes.http.count();
        state->loginWithClassCode(name, code);
        fakes.http.respond(first, status, "<html>probe</html>");
        run();
        fakes.http.respond(first + 1, status, "<html>root</html>");
        run();
        ASSERT_EQ(fakes.http.count(), first + 3) << "the login request is sent";
        loginRequest = first + 2;
    }

    // Answers the login request and lets the main queue run.
    void answerLogin(int status, const std::string& body) {
        fakes.http.respond(loginRequest, status, body);
        run();
    }
    void failLogin(TransportError error) {
        fakes.http.fail(loginRequest, std::move(error));
        run();
    }

    // The messages of the debug log, oldest first, without their time stamps.
    std::vector<std::string> log() const {
        std::vector<std::string> lines;
        const std::string& text = state->debugLog.get();
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(start, end - start);
            const std::size_t stamp = line.find("] ");
            if (!line.empty() && line[0] == '[' && stamp != std::string::npos)
                line = line.substr(stamp + 2);
            lines.insert(lines.begin(), line);
            start = end + 1;
        }
        return lines;
    }

    bool logHas(const std::string& line) const {
        const auto lines = log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    TestPorts fakes;
    std::shared_ptr<AppState> state;
    std::size_t loginRequest = 0;  // index of the last login request sent
};

}  // namespace kt::testing
