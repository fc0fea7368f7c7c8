#pragma once

#include <QObject>
#include <QPointer>
#include <QWindow>
#include <functional>
#include <memory>

#include "app/AppDelegate.h"

namespace kt {

class AppState;

// Leads every way of quitting through the application delegate: the
// window's close button, the quit shortcut (Ctrl+Q), the desktop session
// asking the application to save and end, and any other end of the event
// loop. The delegate's termination steps run exactly once.
class QuitController final : public QObject {
    Q_OBJECT

  public:
    // `endEventLoop` ends the application (QCoreApplication::quit in the
    // program; a recorder in tests).
    QuitController(AppDelegate& delegate, std::shared_ptr<AppState> state,
                   std::function<void()> endEventLoop, QObject* parent = nullptr);
    ~QuitController() override;

    // The main window: its close button and Ctrl+Q quit, and the delegate
    // gets the state once the window has first been shown.
    void watchWindow(QWindow* window);

    // The one way to quit. Ignored while an earlier quit is being held.
    void requestQuit();

    bool isHoldingQuit() const { return holding_; }
    bool hasTerminated() const { return terminated_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void replyToTermination(bool terminate);
    void terminate();
    void runWillTerminateOnce();
    void giveStateToDelegate();

    AppDelegate& delegate_;
    std::shared_ptr<AppState> state_;
    std::function<void()> endEventLoop_;
    QPointer<QWindow> window_;
    // Replies to a held quit come from a scheduled task that may outlive us.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool holding_ = false;
    bool terminated_ = false;
};

}  // namespace kt
