#include <gtest/gtest.h>

#include "SessionFixture.h"

using kt::Seconds;
using Watchdog = kt::testing::SessionFixture;
using Alert = kt::testing::SessionFixture;

TEST_F(Watchdog, RepairsAZeroCounterAfterAnActivationOnceNoWorkIsUnderWayOneSecondLater) {
    loggedIn();
    state->isBlocked = true;
    blocking().hasSuccessfullyActivatedBlocking = false;
    blocking().checkBlockingIntegrity();
    blocking().hasSuccessfullyActivatedBlocking = true;
    state->hostsCount = 12;
    state->firewallCount = 44;
    blocking().checkBlockingIntegrity();
    state->isBlocked = false;
    state->hostsCount = 0;
    blocking().checkBlockingIntegrity();
    state->isBlocked = true;
    state->isReconnecting = true;
    blocking().checkBlockingIntegrity();
    state->isReconnecting = false;
    blocking().isActivatingBlocking = true;
    blocking().checkBlockingIntegrity();
    fakes.scheduler.advance(Seconds{5});
    EXPECT_EQ(blocking().integrityReconnectAttempts, 0);
    EXPECT_EQ(state->debugLog.get(), "");
    // A block with a counter at zero is repaired by a reconnect one second later.
    blocking().isActivatingBlocking = false;
    state->hostsCount = 12;
    state->firewallCount = 0;
    const auto before = logins();
    blocking().checkBlockingIntegrity();
    EXPECT_EQ(blocking().integrityReconnectAttempts, 1);
    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(logLines()[0],
              "WAARSCHUWING: Blocking niet actief! hosts=12, firewall=0 - herstel poging 1");
    EXPECT_EQ(
        shown(),
        "logged-in blocked reconnecting polling status=Blokkering herstellen... error=- hosts=12");
    fakes.scheduler.advance(Seconds{0.9});
    EXPECT_EQ(logins(), before);
    fakes.scheduler.advance(Seconds{0.1});
    EXPECT_EQ(logins(), before + 1) << "the reconnect starts 1.0 s later";
}

TEST_F(Watchdog, RepairsThatWriteNothingUsableCountAndEndAfterTwo) {
    // A service that sends only names validation refuses: every activation
    // succeeds with 0 hosts, so every repair leaves the block as broken.
    const std::string refusedOnly =
        R"({"success":true,"is_blocked":true,"domains":["<b>x</b>","bad name"]})";
    loggedIn();
    statusReply(refusedOnly);
    ASSERT_TRUE(blocking().hasSuccessfullyActivatedBlocking);
    ASSERT_EQ(state->hostsCount.get(), 0);
    const auto loginsBefore = logins();
    std::size_t answered = fakes.http.count();
    for (int second = 0; second < 60; ++second) {
        fakes.scheduler.advance(Seconds{1});
        for (; answered < fakes.http.count(); ++answered) {
            const bool login =
                fakes.http.request(answered).url.find("class-login.php") != std::string::npos;
            fakes.http.respond(answered, 200,
                               login ? R"({"success":true,"session_token":"tok-2"})" : refusedOnly);
            settle();
        }
    }
    EXPECT_EQ(logins() - loginsBefore, 2u);
    EXPECT_EQ(blocking().integrityReconnectAttempts, 2);
    EXPECT_TRUE(logged("Herstel gestopt na 2 pogingen - log opnieuw in"));
    EXPECT_FALSE(state->statusMessage.get().has_value());
    EXPECT_EQ(runs("activate"), 3u) << "the first activation and two repairs";
}

TEST_F(Alert, BeepsThreeTimesThenSpeaksOnceAndASecondAlertReplacesTheFirstsSpeech) {
    state->playAlertSound();
    EXPECT_TRUE(fakes.beeper.times.empty()) << "nothing sounds inside the call";
    fakes.scheduler.advance(Seconds{2});
    EXPECT_EQ(fakes.beeper.times, (std::vector<double>{0.0, 0.3, 0.6}));
    ASSERT_EQ(fakes.speech.spoken.size(), 1u);
    const auto& spoken = fakes.speech.spoken[0];
    EXPECT_EQ(spoken.text, "Waarschuwing: Leerling heeft Ridudiziv Ka Tesmar uitgeschakeld");
    EXPECT_EQ(spoken.voiceIdentifier + " " + spoken.languageFallback,
              "com.apple.speech.synthesis.voice.ellen nl-BE");
    EXPECT_DOUBLE_EQ(spoken.at, 1.0);
    state->playAlertSound();
    fakes.scheduler.advance(Seconds{0.2});
    state->playAlertSound();
    fakes.scheduler.advance(Seconds{3});
    EXPECT_EQ(fakes.beeper.times.size(), 9u);
    ASSERT_EQ(fakes.speech.spoken.size(), 3u);
    EXPECT_TRUE(fakes.speech.spoken[1].utterance.expired()) << "the third replaced the second";
    EXPECT_EQ(state->speechSynthesizer.get(), fakes.speech.spoken[2].utterance.lock().get());
    state->playAlertSound();  // the state gone before the speech step: it speaks all the same
    fakes.scheduler.runUntilIdle();
    state.reset();
    fakes.scheduler.advance(Seconds{2});
    EXPECT_EQ(fakes.speech.spoken.size(), 4u);
}
