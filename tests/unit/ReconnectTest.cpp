#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "session/ServiceRequests.h"

using kt::Seconds;

namespace {

class Reconnect : public kt::testing::SessionFixture {
  protected:
    // The newest request, which must be a login.
    const kt::HttpRequest& loginRequest() {
        const auto& r = fakes.http.last();
        EXPECT_NE(r.url.find("class-login.php"), std::string::npos) << r.url;
        return r;
    }
    void wake() { fakes.wakeNotifications.wake(); }
};

}  // namespace

TEST_F(Reconnect, WakeWhileLoggedOutOrWithoutSavedCodeOnlyLogs) {
    wake();
    settle();
    EXPECT_EQ(logLines(), std::vector<std::string>{"Computer wakker uit slaapstand"});

    state->isLoggedIn = true;
    state->debugLog = "";
    wake();
    fakes.scheduler.advance(Seconds{10});
    EXPECT_EQ(logLines(), std::vector<std::string>{"Computer wakker uit slaapstand"});
    EXPECT_EQ(fakes.http.count(), 0u);
    EXPECT_FALSE(state->isReconnecting.get());

    state.reset();
    wake();
    EXPECT_EQ(fakes.scheduler.pendingTaskCount(), 0u)
        << "a wake after the state is gone does nothing";
}

TEST_F(Reconnect, WakeAnnouncesAtOnceAndSendsTheLoginThreeSecondsLater) {
    loggedIn("old");
    state->savedClassCode = "abc123";
    state->savedStudentName = "Jan & Piet+Co";
    const auto before = logins();
    wake();
    fakes.scheduler.runUntilIdle();
    EXPECT_TRUE(state->isReconnecting.get());
    EXPECT_EQ(state->statusMessage.get(), "Verbinding herstellen...");
    fakes.scheduler.advance(Seconds{2.9});
    EXPECT_EQ(logins(), before);
    fakes.scheduler.advance(Seconds{0.1});
    ASSERT_EQ(logins(), before + 1);
    const auto& request = loginRequest();
    EXPECT_DOUBLE_EQ(request.timeout.count(), 15.0);
    EXPECT_EQ(request.body, kt::loginRequestBody("Jan & Piet+Co", "abc123",
                                                 "macOS " + fakes.systemInformation.version, ""));
    EXPECT_NE(request.body.find("class_code=ABC123"), std::string::npos)
        << "the code goes out upper-cased";
    settle();
    EXPECT_EQ(logLines()[0], "Maak nieuwe sessie aan...");
    EXPECT_EQ(logLines()[1], "Start reconnect na wake...");
}

TEST_F(Reconnect, SuccessTakesTheNewTokenActivatesAndPollsAgain) {
    loggedIn("old");
    state->className = "blijft";
    state->manualReconnect();
    EXPECT_TRUE(state->isReconnecting.get());
    EXPECT_EQ(state->statusMessage.get(), "Verbinding herstellen...");
    state->manualReconnect();
    EXPECT_EQ(logins(), 1u) << "a second press while reconnecting does nothing";

    fakes.http.respondLast(
        500, R"({"success":1,"session_token":"new","class_info":{"class_name":"X"}})");
    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(state->sessionToken.get(), "new") << "a success of 1 counts, as at the login";
    EXPECT_EQ(state->className.get(), "blijft") << "names are not refreshed";
    EXPECT_TRUE(state->isActivatingBlocking) << "activation starts whatever the class state";
    EXPECT_NE(fakes.http.last().url.find("token=new"), std::string::npos) << "polling restarted";
    EXPECT_EQ(state->statusMessage.get(), "Blokkering activeren...");
    settle();
    EXPECT_TRUE(logged("Nieuwe sessie aangemaakt!"));
    EXPECT_TRUE(state->isReconnecting.get());
    fakes.scheduler.advance(Seconds{2.0});
    EXPECT_FALSE(state->isReconnecting.get());
    EXPECT_FALSE(state->statusMessage.get().has_value());
    EXPECT_TRUE(state->isLoggedIn.get());
}

TEST_F(Reconnect, EveryKindOfFailureLogsTheStudentOut) {
    const std::vector<std::pair<std::string, std::string>> replies = {
        {R"({"success":true})", "Reconnect mislukt: geen geldige sessie"},
        {R"({"success":0,"session_token":"t"})", "Reconnect mislukt: geen geldige sessie"},
        {R"({"success":true,"session_token":5})", "Reconnect mislukt: geen geldige sessie"},
        {"<html>", "Reconnect mislukt: geen geldige sessie"},
        {"", "Reconnect mislukt: geen geldige sessie"},
    };
    for (const auto& [body, line] : replies) {
        loggedIn("old");
        state->isBlocked = true;
        state->hostsCount = 4;
        state->firewallCount = 44;
        state->integrityReconnectAttempts = 2;
        state->debugLog = "";
        state->manualReconnect();
        fakes.http.respondLast(200, body);
        settle();
        EXPECT_EQ(logLines()[0], "Blokkering gedeactiveerd") << body;
        EXPECT_TRUE(logged(line)) << body;
        EXPECT_TRUE(logged("Reconnect gefaald - terug naar login")) << body;
        EXPECT_FALSE(state->isLoggedIn.get());
        EXPECT_FALSE(state->sessionToken.get().has_value());
        EXPECT_FALSE(state->isBlocked.get());
        EXPECT_FALSE(state->isReconnecting.get());
        EXPECT_EQ(state->integrityReconnectAttempts, 0);
        EXPECT_EQ(state->hostsCount.get(), 0);
        EXPECT_EQ(state->firewallCount.get(), 0);
        EXPECT_FALSE(state->pollTimer.has_value());
        EXPECT_EQ(state->errorMessage.get(), "Verbinding verloren. Log opnieuw in.");
        EXPECT_EQ(state->savedClassCode, "ABC123") << "the saved code stays";
    }

    loggedIn("old");
    state->manualReconnect();
    fakes.http.failLast({"Could not connect to the server.", "QNetworkReply", 1});
    settle();
    EXPECT_TRUE(logged("Reconnect error: Could not connect to the server."));
    EXPECT_FALSE(state->isLoggedIn.get());
}

TEST_F(Reconnect, WithoutSavedCredentialsTheSessionEnds) {
    loggedIn("old");
    state->savedStudentName = "";
    state->manualReconnect();
    EXPECT_EQ(logLines().size(), 0u) << "lines arrive through the main queue";
    settle();
    EXPECT_TRUE(logged("Geen opgeslagen credentials voor reconnect"));
    EXPECT_FALSE(state->isLoggedIn.get());
    EXPECT_FALSE(state->isReconnecting.get());
    EXPECT_EQ(state->errorMessage.get(), "Sessie verlopen. Log opnieuw in.");
    EXPECT_TRUE(state->pollTimer.has_value()) << "the poll is left as it was on this path";
    EXPECT_EQ(logins(), 0u);
}
