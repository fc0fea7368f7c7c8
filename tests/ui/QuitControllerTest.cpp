#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "TestPorts.h"
#include "app/AppDelegate.h"
#include "app/AppState.h"
#include "ui/QuitController.h"

using kt::AppState;
using kt::QuitController;
using kt::Seconds;

namespace {

class QuitControllerTest : public ::testing::Test {
  protected:
    kt::testing::TestPorts fakes;
    std::shared_ptr<AppState> state = AppState::create(fakes.ports());
    kt::AppDelegate delegate;
    int loopEnds = 0;
    QuitController controller{delegate, state, [this] { ++loopEnds; }};
    QWindow window;

    void SetUp() override {
        fakes.scheduler.runUntilIdle();
        window.resize(200, 200);
        controller.watchWindow(&window);
    }

    void show() {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    // What the window manager sends when the close button is pressed.
    bool closeButton() {
        QCloseEvent event;
        QCoreApplication::sendEvent(&window, &event);
        return event.isAccepted();
    }

    std::size_t restores() const { return fakes.processes.requests().size(); }
};

}  // namespace

TEST_F(QuitControllerTest, BeforeTheWindowWasShownQuittingEndsAtOnceAndDoesNothingElse) {
    state->isLoggedIn = true;
    EXPECT_FALSE(closeButton()) << "the window never closes by itself";
    EXPECT_EQ(loopEnds, 1);
    EXPECT_EQ(delegate.appState, nullptr);
    EXPECT_EQ(restores() + fakes.beeper.times.size(), 0u);
}

TEST_F(QuitControllerTest, QuitShortcutWhileLoggedOutRestoresBeepsAndEnds) {
    show();
    EXPECT_EQ(delegate.appState, state) << "the delegate gets the state once the window shows";
    window.requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(loopEnds, 1);
    EXPECT_EQ(restores(), 1u);
    EXPECT_EQ(fakes.beeper.times.size(), 1u);
    EXPECT_EQ(fakes.http.count(), 0u);
}

TEST_F(QuitControllerTest, CloseButtonWhileLoggedInHoldsTheQuitThenRunsTheTerminationOnce) {
    show();
    state->isLoggedIn = true;
    state->sessionToken = std::string("tok");
    EXPECT_FALSE(closeButton());
    EXPECT_TRUE(controller.isHoldingQuit() && window.isVisible());
    EXPECT_FALSE(closeButton()) << "a second request during the hold";
    fakes.scheduler.advance(Seconds{1.9});
    EXPECT_EQ(loopEnds, 0);
    EXPECT_EQ(fakes.beeper.times.size(), 3u) << "one alert, not two";
    fakes.scheduler.advance(Seconds{0.1});
    EXPECT_EQ(loopEnds, 1);
    EXPECT_EQ(restores(), 1u);
    controller.requestQuit();  // e.g. the session ends as well
    EXPECT_EQ(loopEnds + restores(), 2u);
}

TEST_F(QuitControllerTest, AnyOtherEndOfTheEventLoopStillRunsTheTerminationOnce) {
    show();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    controller.requestQuit();
    EXPECT_EQ(restores(), 1u);
    EXPECT_EQ(loopEnds, 0) << "the loop had ended already";
}
