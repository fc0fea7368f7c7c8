// How a session ends: by the student, by the service, or renewed after a wake.
#include <gtest/gtest.h>

#include "SessionFixture.h"

using kt::Seconds;
using Logout = kt::testing::SessionFixture;
using Reconnect = kt::testing::SessionFixture;
using Lines = std::vector<std::string>;

TEST_F(Reconnect, WakeWhileLoggedOutOrWithoutSavedCodeOnlyLogsAndByHandWithoutItEnds) {
    fakes.wakeNotifications.wake();
    settle();
    EXPECT_EQ(logLines(), Lines{"Computer wakker uit slaapstand"});
    state->isLoggedIn = true;
    state->debugLog = "";
    fakes.wakeNotifications.wake();
    fakes.scheduler.advance(Seconds{10});
    EXPECT_EQ(logLines(), Lines{"Computer wakker uit slaapstand"});
    EXPECT_EQ(fakes.http.count(), 0u);
    EXPECT_FALSE(state->isReconnecting.get());
    // By hand without saved credentials the session ends (the poll is left as it was).
    loggedIn("old");
    session().savedStudentName = "";
    state->manualReconnect();
    EXPECT_EQ(logLines().size(), 1u) << "lines arrive through the main queue";
    settle();
    EXPECT_TRUE(logged("Geen opgeslagen credentials voor reconnect"));
    EXPECT_EQ(
        shown(),
        "polling status=Verbinding herstellen... error=Sessie verlopen. Log opnieuw in. hosts=0");
    EXPECT_EQ(logins(), 0u);
    const auto pending = fakes.scheduler.pendingTaskCount();
    state.reset();
    fakes.wakeNotifications.wake();
    EXPECT_EQ(fakes.scheduler.pendingTaskCount(), pending)
        << "a wake after the state is gone does nothing";
}

TEST_F(Reconnect, WakeAnnouncesAtOnceAndSendsTheLoginThreeSecondsLater) {
    loggedIn("old");
    state->className = "blijft";
    session().savedClassCode = "abc123";
    session().savedStudentName = "Jan & Piet+Co";
    fakes.wakeNotifications.wake();
    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(shown(),
              "logged-in reconnecting polling status=Verbinding herstellen... error=- hosts=0");
    state->manualReconnect();  // a press while reconnecting does nothing
    fakes.scheduler.advance(Seconds{2.9});
    EXPECT_EQ(logins(), 0u);
    fakes.scheduler.advance(Seconds{0.1});
    ASSERT_EQ(logins(), 1u);
    const auto request = fakes.http.last();
    EXPECT_DOUBLE_EQ(request.timeout.count(), 15.0);
    EXPECT_EQ(request.body.rfind("student_name=Jan%20%26%20Piet%2BCo&", 0), 0u);
    EXPECT_NE(request.body.find("class_code=ABC123"), std::string::npos)
        << "the code goes out upper-cased";
    settle();
    EXPECT_EQ(logLines()[0] + "|" + logLines()[1],
              "Maak nieuwe sessie aan...|Start reconnect na wake...");
    // Success: the new token, an activation whatever the class state, polls again.
    fakes.http.respondLast(
        500, R"({"success":1,"session_token":"new","class_info":{"class_name":"X"}})");
    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(state->sessionToken.get(), "new") << "a success of 1 counts, as at the login";
    EXPECT_EQ(state->className.get(), "blijft") << "names are not refreshed";
    EXPECT_TRUE(blocking().isActivatingBlocking) << "activation starts whatever the class state";
    EXPECT_NE(fakes.http.last().url.find("token=new"), std::string::npos) << "polling restarted";
    settle();
    EXPECT_TRUE(logged("Nieuwe sessie aangemaakt!"));
    EXPECT_TRUE(state->isReconnecting.get());
    fakes.scheduler.advance(Seconds{2.0});
    EXPECT_EQ(shown(), "logged-in polling status=- error=- hosts=0");
}

TEST_F(Reconnect, EveryKindOfFailureLogsTheStudentOut) {
    for (const std::string body : {R"({"success":true})", R"({"success":0,"session_token":"t"})",
                                   R"({"success":true,"session_token":5})", "<html>", ""}) {
        SCOPED_TRACE(body);
        loggedIn("old");
        state->isBlocked = true;
        state->hostsCount = 4;
        state->firewallCount = 44;
        blocking().integrityReconnectAttempts = 2;
        state->debugLog = "";
        state->manualReconnect();
        fakes.http.respondLast(200, body);
        settle();
        EXPECT_EQ(logLines()[0], "Blokkering gedeactiveerd");
        EXPECT_TRUE(logged("Reconnect mislukt: geen geldige sessie"));
        EXPECT_TRUE(logged("Reconnect gefaald - terug naar login"));
        EXPECT_EQ(
            shown(),
            "status=Blokkering uitgeschakeld error=Verbinding verloren. Log opnieuw in. hosts=0");
        EXPECT_FALSE(state->sessionToken.get());
        EXPECT_EQ(blocking().integrityReconnectAttempts + state->firewallCount.get(), 0);
        EXPECT_EQ(session().savedClassCode, "ABC123") << "the saved code stays";
    }
    loggedIn("old");
    state->manualReconnect();
    fakes.http.failLast({"Could not connect to the server.", "QNetworkReply", 1});
    settle();
    EXPECT_TRUE(logged("Reconnect error: Could not connect to the server."));
    EXPECT_FALSE(state->isLoggedIn.get());
}

TEST_F(Logout, ClearsTheSessionAtOnceDeletesItAtTheServiceUndoesTheBlockAndDropsALatePoll) {
    loggedIn("tok-7");
    statusReply(R"({"success":true,"is_blocked":true,"domains":["claude.ai","chatgpt.com"],
        "ips":["198.51.100.7"],"ip_ranges":[{"start":"a","end":"b"}],
        "class_info":{"class_name":"5A","teacher_name":"Dhr. Maes"}})");
    state->schoolName = "Atheneum";
    state->errorMessage = "oude fout";
    fakes.scheduler.advance(Seconds{5});  // a poll is out when the student leaves
    const std::size_t latePoll = fakes.http.count() - 1;
    const auto lastCheck = state->lastCheck.get();
    const auto requestsBefore = fakes.http.count();
    state->logout();  // nothing waits for the undo or the service
    EXPECT_EQ(shown(), "status=Blokkering actief error=oude fout hosts=4");
    EXPECT_FALSE(state->sessionToken.get());
    EXPECT_EQ(state->studentName.get() + state->className.get() + state->teacherName.get() +
                  state->schoolName.get(),
              "");
    EXPECT_TRUE(state->blockedDomains.get().empty() && session().blockIPs.empty() &&
                session().blockRanges.empty() && state->detectedServices.get().empty());
    EXPECT_EQ(session().savedStudentName + "|" + session().savedClassCode, "Jan Jansen|ABC123");
    EXPECT_EQ(state->lastCheck.get(), lastCheck);
    ASSERT_EQ(fakes.http.count(), requestsBefore + 1);
    const auto deletion = fakes.http.last();
    EXPECT_EQ(deletion.method + " " + deletion.url + " " + deletion.body,
              "POST " + session().apiBaseURL + R"(class-logout.php {"token":"tok-7"})");
    EXPECT_DOUBLE_EQ(deletion.timeout.count(), 5.0);
    fakes.scheduler.advance(Seconds{2});
    EXPECT_EQ(fakes.beeper.times.size(), 3u) << "the alert sounded";
    fakes.http.failLast({"offline", "QNetworkReply", 99});
    fakes.http.respond(latePoll, 200, R"({"success":true,"is_blocked":true,"domains":["x.ai"]})");
    settle();
    EXPECT_FALSE(logged("offline")) << "the deletion's outcome leaves no trace";
    EXPECT_EQ(privilegedRuns, (std::vector<std::string>{"activate", "deactivate"}))
        << "the late poll's reply activates nothing for a student who left";
    EXPECT_EQ(shown(), "status=Blokkering uitgeschakeld error=oude fout hosts=0");
    EXPECT_TRUE(state->blockedDomains.get().empty());
    EXPECT_EQ(state->lastCheck.get(), lastCheck);
    // Without a token no deletion is sent, but the undo still runs.
    state->isLoggedIn = true;
    const auto sent = fakes.http.count();
    state->logout();
    settle();
    EXPECT_EQ(fakes.http.count(), sent);
    EXPECT_EQ(runs("deactivate"), 2u);
}
