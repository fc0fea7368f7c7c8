#include "ui/QuitController.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>

#include "app/AppState.h"

namespace kt {
namespace {

// The platform's quit key, and Ctrl+Q where the platform names none. Read from
// the window's own key events: a QShortcut on a plain window never fires
// under a QApplication, which only matches shortcuts of widgets.
bool isQuitKey(const QKeyEvent& key) {
    return key.matches(QKeySequence::Quit) ||
           key.keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Q);
}

}  // namespace

QuitController::QuitController(AppDelegate& delegate, std::shared_ptr<AppState> state,
                               std::function<void()> endEventLoop, QObject* parent)
    : QObject(parent),
      delegate_(delegate),
      state_(std::move(state)),
      endEventLoop_(std::move(endEventLoop)) {
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The desktop session is ending: quit the same way.
        connect(app, &QGuiApplication::commitDataRequest, this, [this] { requestQuit(); });
        // Whatever else ends the event loop, the termination steps still run.
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { runWillTerminateOnce(); });
        app->setQuitOnLastWindowClosed(false);
    }
}

QuitController::~QuitController() {
    *alive_ = false;
}

void QuitController::watchWindow(QWindow* window) {
    window_ = window;
    window->installEventFilter(this);
    if (window->isExposed())
        giveStateToDelegate();
}

bool QuitController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_) {
        if (event->type() == QEvent::Expose && window_->isExposed())
            giveStateToDelegate();
        if (event->type() == QEvent::KeyPress && isQuitKey(*static_cast<QKeyEvent*>(event))) {
            requestQuit();
            return true;
        }
        if (event->type() == QEvent::Close) {
            // The window stays until the quit has run its course.
            event->ignore();
            requestQuit();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void QuitController::giveStateToDelegate() {
    if (!delegate_.appState)
        delegate_.appState = state_;
}

void QuitController::requestQuit() {
    if (holding_ || terminated_)
        return;
    std::weak_ptr<bool> alive = alive_;
    const auto reply = delegate_.applicationShouldTerminate([this, alive](bool terminate) {
        if (!alive.expired())
            replyToTermination(terminate);
    });
    if (reply == AppDelegate::TerminateReply::Now)
        terminate();
    else
        holding_ = true;
}

void QuitController::replyToTermination(bool terminate) {
    if (!holding_)
        return;
    holding_ = false;
    if (terminate)
        this->terminate();
}

void QuitController::terminate() {
    runWillTerminateOnce();
    endEventLoop_();
}

void QuitController::runWillTerminateOnce() {
    if (terminated_)
        return;
    terminated_ = true;
    delegate_.applicationWillTerminate();
}

}  // namespace kt
