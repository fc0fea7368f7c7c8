#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "app/AppDelegate.h"

using kt::AppDelegate;
using kt::Seconds;
using Reply = AppDelegate::TerminateReply;

namespace {

class AppDelegateTest : public kt::testing::SessionFixture {
  protected:
    AppDelegate delegate;
    std::vector<std::pair<double, bool>> replies;

    AppDelegate::ReplyToTermination recordReply() {
        return [this](bool terminate) {
            replies.emplace_back(fakes.scheduler.elapsed().count(), terminate);
        };
    }

    void logIn() {
        state->isLoggedIn = true;
        state->sessionToken = std::string("tok-1");
    }
};

}  // namespace

TEST_F(AppDelegateTest, QuitWhileLoggedInIsHeldTwoSecondsForTheAlertThenRestoresDeletesAndBeeps) {
    logIn();
    delegate.appState = state;

    EXPECT_EQ(delegate.applicationShouldTerminate(recordReply()), Reply::Later);
    fakes.scheduler.advance(Seconds{1.99});
    EXPECT_TRUE(replies.empty()) << "the quit is held";
    EXPECT_EQ(fakes.beeper.times.size(), 3u);
    fakes.scheduler.advance(Seconds{0.01});
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_DOUBLE_EQ(replies[0].first, 2.0);
    EXPECT_TRUE(replies[0].second);
    EXPECT_EQ(runs("restore"), 0u) << "nothing is restored before the quit is confirmed";

    // The wait for the service's answer: the restore has run by then, the beep not yet.
    std::pair<std::size_t, std::size_t> restoresAndBeepsWhileDeleting;
    fakes.blockingWait.whileWaiting = [&] {
        restoresAndBeepsWhileDeleting = {runs("restore"), fakes.beeper.times.size()};
        fakes.http.respondLast(200, R"({"success":true})");
    };
    delegate.applicationWillTerminate();
    EXPECT_EQ(restoresAndBeepsWhileDeleting, std::pair(std::size_t{1}, std::size_t{3}));
    EXPECT_EQ(runs("restore"), 1u);
    ASSERT_EQ(fakes.http.count(), 1u);
    EXPECT_NE(fakes.http.last().url.find("class-logout.php"), std::string::npos);
    EXPECT_NE(fakes.http.last().body.find("tok-1"), std::string::npos);
    EXPECT_LE(fakes.blockingWait.lastTimeout.value_or(Seconds{99}).count(), 3.0);
    EXPECT_EQ(fakes.beeper.times.size(), 4u) << "one final beep";
}

TEST_F(AppDelegateTest, QuitDropsAnActivationStillLookingUpAndNeverBlocksAgain) {
    logIn();
    delegate.appState = state;
    blocking().follow({.blocked = true, .domains = {"chatgpt.com"}});
    ASSERT_GT(fakes.workers.pending(), 1u) << "the lookups wait for threads";
    fakes.workers.runOldest();
    const auto digs = [this] { return fakes.processes.requests().size() - privilegedRuns.size(); };
    ASSERT_EQ(digs(), 1u);

    EXPECT_EQ(delegate.applicationShouldTerminate(recordReply()), Reply::Later);
    EXPECT_FALSE(state->isInstalling.get()) << "dropped at once, not when the lookups end";
    EXPECT_FALSE(blocking().isActivatingBlocking);
    blocking().activateBlocking();  // a status reply during the hold
    fakes.workers.runAll();
    fakes.scheduler.advance(Seconds{2.0});
    ASSERT_EQ(replies.size(), 1u);
    fakes.blockingWait.whileWaiting = [&] { fakes.http.respondLast(200, "{}"); };
    delegate.applicationWillTerminate();
    fakes.workers.runAll();
    fakes.scheduler.advance(Seconds{5});

    EXPECT_EQ(digs(), 1u) << "the queued lookups were skipped";
    EXPECT_EQ(runs("activate"), 0u) << "no activation after the quit began";
    EXPECT_EQ(runs("restore"), 1u);
    EXPECT_TRUE(logged("Blokkering activeren overgeslagen: programma stopt"));
}
