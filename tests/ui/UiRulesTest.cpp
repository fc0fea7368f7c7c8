// The login screen's text rules, and the quit's glue to the window.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "TestPorts.h"
#include "app/AppDelegate.h"
#include "app/AppState.h"
#include "ui/LoginRules.h"
#include "ui/QuitController.h"

namespace kt {
namespace {

// Characters as the student sees them: a flag, a family joined by zero-width
// joiners, a skin-toned hand, a letter with a combining accent and CR LF are
// one character each.
TEST(UiLoginRules, NeedsSixCodeCharactersTwoNameCharactersAndNoLoginUnderWay) {
    const auto can = [](const char* name, const char* code) {
        return LoginRules::canLogin(false, QString::fromUtf8(name), QString::fromUtf8(code));
    };
    for (const char* name : {"J", "👨‍👩‍👧", "🇧🇪", "👍🏽", "e\u0301"})
        EXPECT_FALSE(can(name, "ABC123")) << name;
    for (const char* name : {"🇧🇪🇳🇱", "  ", "Zoë"}) EXPECT_TRUE(can(name, "abc123")) << name;
    for (const char* code : {"ABC12", "ABC123\r\n"}) EXPECT_FALSE(can("Jan", code)) << code;
    EXPECT_TRUE(can("Jan", "ABCD1\r\n"));
    EXPECT_FALSE(LoginRules::canLogin(true, QStringLiteral("Jan"), QStringLiteral("ABC123")));
}

class QuitControllerTest : public ::testing::Test {
  protected:
    testing::TestPorts fakes;
    std::shared_ptr<AppState> state = AppState::create(fakes.ports());
    AppDelegate delegate;
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
    // What the quit did so far: loop ends, restores run, beeps.
    std::string did() const {
        return "ends=" + std::to_string(loopEnds) +
               " restores=" + std::to_string(fakes.processes.requests().size()) +
               " beeps=" + std::to_string(fakes.beeper.times.size());
    }
};

TEST_F(QuitControllerTest, BeforeTheWindowWasShownQuittingEndsAtOnceAndDoesNothingElse) {
    state->isLoggedIn = true;
    EXPECT_FALSE(closeButton()) << "the window never closes by itself";
    EXPECT_EQ(delegate.appState, nullptr);
    EXPECT_EQ(did(), "ends=1 restores=0 beeps=0");
}

TEST_F(QuitControllerTest, QuitShortcutWhileLoggedOutRestoresBeepsAndEnds) {
    show();
    EXPECT_EQ(delegate.appState, state) << "the delegate gets the state once the window shows";
    window.requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(did(), "ends=1 restores=1 beeps=1");
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
    EXPECT_EQ(did(), "ends=0 restores=0 beeps=3") << "one alert, not two";
    fakes.scheduler.advance(Seconds{0.1});
    EXPECT_EQ(did(), "ends=1 restores=1 beeps=4");
    controller.requestQuit();  // e.g. the session ends as well
    EXPECT_EQ(did(), "ends=1 restores=1 beeps=4");
}

TEST_F(QuitControllerTest, AnyOtherEndOfTheEventLoopStillRunsTheTerminationOnce) {
    show();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    controller.requestQuit();
    EXPECT_EQ(did(), "ends=0 restores=1 beeps=1") << "the loop had ended already";
}

}  // namespace
}  // namespace kt
