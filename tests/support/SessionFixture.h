#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "TestPorts.h"
#include "app/AppState.h"

namespace kt::testing {

// The messages of the debug log without their time stamps, newest first as
// the log holds them.
inline std::vector<std::string> logMessages(const std::string& debugLog) {
    std::vector<std::string> lines;
    std::istringstream in(debugLog);
    for (std::string line; std::getline(in, line);)
        lines.push_back(
            line.substr(line.find("] ") == std::string::npos ? 0 : line.find("] ") + 2));
    return lines;
}

// A real AppState on fakes, with helpers to play the class service and the
// root helper (or, with the macOS profile, the password prompt), and its two
// rooms at hand.
class SessionFixture : public ::testing::Test {
  protected:
    TestPorts fakes;
    std::shared_ptr<AppState> state;
    // The verb of every privileged run ("activate", "deactivate", "restore";
    // "script" for the macOS prompt), in order, and whether the next ones
    // succeed.
    std::vector<std::string> privilegedRuns;
    std::string lastActivationRequest;
    bool promptAccepted = true;
    std::string promptError = "Geweigerd door polkit";
    void SetUp() override { start(); }
    void start(ServiceAddresses service = {}) {
        fakes.processes.setHandler([this](const ProcessRequest& request) {
            if (request.program == "/usr/bin/pkexec") {
                privilegedRuns.push_back(request.arguments.at(1));
                if (request.arguments.at(1) == "activate")
                    lastActivationRequest = request.standardInput;
            } else if (request.program == "/usr/bin/osascript") {
                privilegedRuns.push_back("script");
            } else {
                return FakeProcessRunner::exited(0);
            }
            return promptAccepted ? FakeProcessRunner::exited(0, "OK\n")
                                  : FakeProcessRunner::exited(1, "", promptError + "\n");
        });
        state = AppState::create(fakes.ports(), std::move(service));
        settle();
        state->debugLog = "";
    }
    void settle() { fakes.settle(); }
    ClassSession& session() { return state->session(); }
    BlockingController& blocking() { return state->blocking(); }
    std::size_t runs(const std::string& verb) const {
        return static_cast<std::size_t>(std::ranges::count(privilegedRuns, verb));
    }
    // A logged-in session with polling running, as a login leaves it.
    void loggedIn(const std::string& token = "tok-1") {
        state->sessionToken = token;
        state->studentName = "Jan Jansen";
        state->className = "4B";
        session().savedStudentName = "Jan Jansen";
        session().savedClassCode = "ABC123";
        state->isLoggedIn = true;
        session().startPolling();
    }
    // Answers the newest status request with `body` and lets everything settle.
    void statusReply(const std::string& body, int status = 200) {
        fakes.http.respond(fakes.http.lastTo("class-status.php"), status, body);
        settle();
    }
    // The bodies of the whole test's requests to `endpoint`, oldest first.
    std::vector<std::string> bodiesTo(const std::string& endpoint) const {
        std::vector<std::string> bodies;
        for (std::size_t i = 0; i < fakes.http.count(); ++i)
            if (fakes.http.request(i).url.find(endpoint) != std::string::npos)
                bodies.push_back(fakes.http.request(i).body);
        return bodies;
    }
    std::size_t requestsTo(const std::string& endpoint) const { return bodiesTo(endpoint).size(); }
    std::size_t logins() const { return requestsTo("class-login.php"); }
    // What the window shows of the session, in one line: the flags that are
    // set, the status and error texts ("-": none) and the hosts counter.
    std::string shown() const {
        std::string text;
        for (const auto& [set, flag] : {std::pair{state->isLoggedIn.get(), "logged-in "},
                                        {state->isBlocked.get(), "blocked "},
                                        {state->isInstalling.get(), "installing "},
                                        {state->isReconnecting.get(), "reconnecting "},
                                        {state->session().pollTimer.has_value(), "polling "}})
            if (set)
                text += flag;
        return text + "status=" + state->statusMessage.get().value_or("-") +
               " error=" + state->errorMessage.get().value_or("-") +
               " hosts=" + std::to_string(state->hostsCount.get());
    }
    std::vector<std::string> logLines() const { return logMessages(state->debugLog.get()); }
    bool logged(const std::string& message) const {
        return std::ranges::count(logLines(), message) > 0;
    }
};

}  // namespace kt::testing
