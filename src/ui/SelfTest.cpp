#include "ui/SelfTest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTextStream>

namespace kt {
namespace {

void settle() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 200) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

class SelfTest {
  public:
    SelfTest(QQuickWindow& window, const QString& screenshotDir)
        : window_(window), screenshotDir_(screenshotDir), out_(stdout) {}

    void expect(bool ok, const QString& what) {
        out_ << (ok ? "ok   " : "FAIL ") << what << Qt::endl;
        if (!ok)
            ++failures_;
    }

    void expectScreen(const QString& name) {
        settle();
        auto* content = window_.findChild<QQuickItem*>(QStringLiteral("contentView"));
        const QString shown = content ? content->property("currentScreen").toString() : QString();
        expect(shown == name, QStringLiteral("screen '%1' shown (got '%2')").arg(name, shown));
        auto* screen = window_.findChild<QQuickItem*>(name + QStringLiteral("Screen"));
        expect(screen != nullptr, QStringLiteral("screen '%1' loaded").arg(name));
    }

    void screenshot(const QString& name) {
        if (screenshotDir_.isEmpty())
            return;
        QDir().mkpath(screenshotDir_);
        const QImage image = window_.grabWindow();
        const QString path =
            QDir(screenshotDir_).filePath(QStringLiteral("window-%1.png").arg(name));
        expect(!image.isNull() && image.save(path), QStringLiteral("screenshot %1").arg(path));
    }

    int failures() const { return failures_; }

  private:
    QQuickWindow& window_;
    QString screenshotDir_;
    QTextStream out_;
    int failures_ = 0;
};

}  // namespace

int runSelfTest(QQmlApplicationEngine& engine, AppStateBridge& appState, TermsConsent& consent,
                const QString& screenshotDir) {
    if (engine.rootObjects().isEmpty())
        return 1;
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    if (!window)
        return 1;
    SelfTest test(*window, screenshotDir);
    settle();

    test.expect(window->width() == 400 && window->height() == 650,
                QStringLiteral("window is 400 x 650 (got %1 x %2)")
                    .arg(window->width())
                    .arg(window->height()));
    test.expect(
        window->minimumSize() == QSize(400, 650) && window->maximumSize() == QSize(400, 650),
        QStringLiteral("window cannot be resized"));

    AppState& state = appState.state();
    consent.setAccepted(false);
    test.expectScreen(QStringLiteral("terms"));
    test.screenshot(QStringLiteral("terms"));

    consent.setAccepted(true);
    test.expectScreen(QStringLiteral("login"));
    test.screenshot(QStringLiteral("login"));

    state.isLoggedIn = true;
    test.expectScreen(QStringLiteral("status"));
    test.screenshot(QStringLiteral("status"));

    state.isInstalling = true;
    settle();
    test.expect(window->findChild<QQuickItem*>(QStringLiteral("installingOverlay")) != nullptr,
                QStringLiteral("installing overlay loaded"));
    test.screenshot(QStringLiteral("installing"));
    state.isInstalling = false;
    state.isLoggedIn = false;

    QTextStream(stdout) << (test.failures() == 0 ? "self-test passed" : "self-test FAILED")
                        << Qt::endl;
    return test.failures() == 0 ? 0 : 1;
}

}  // namespace kt
