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
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"Jan Jansen", "ABC12", false},
        {"J", "ABC123", false},
        {"👨‍👩‍👧", "ABC123", false},
        {"🇧🇪", "ABC123", false},
        {"👍🏽", "ABC123", false},
        {"e\u0301", "ABC123", false},
        {"🇧🇪🇳🇱", "ABC123", true},
        {"  ", "ABC123", true},
        {"Zoë", "abc123", true},
        {"Jan", "ABC123\r\n", false},
        {"Jan", "ABCD1\r\n", true}};
    for (const auto& [name, code, allowed] : cases)
        EXPECT_EQ(LoginRules::canLogin(false, QString::fromUtf8(name), QString::fromUtf8(code)),
                  allowed)
            << name << " / " << code;
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
    std::size_t restores() const { return fakes.processes.requests().size(); }
    std::size_t beeps() const { return fakes.beeper.times.size(); }
};

TEST_F(QuitControllerTest, BeforeTheWindowWasShownQuittingEndsAtOnceAndDoesNothingElse) {
    state->isLoggedIn = true;
    EXPECT_FALSE(closeButton()) << "the window never closes by itself";
    EXPECT_EQ(loopEnds, 1);
    EXPECT_EQ(delegate.appState, nullptr);
    EXPECT_EQ(restores() + beeps(), 0u);
}

TEST_F(QuitControllerTest, QuitShortcutWhileLoggedOutRestoresBeepsAndEnds) {
    show();
    EXPECT_EQ(delegate.appState, state) << "the delegate gets the state once the window shows";
    window.requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(loopEnds, 1);
    EXPECT_EQ(restores(), 1u);
    EXPECT_EQ(beeps(), 1u);
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
    EXPECT_EQ(beeps(), 3u) << "one alert, not two";
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

}  // namespace
}  // namespace kt
