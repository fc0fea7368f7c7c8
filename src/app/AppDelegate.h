#pragma once

#include <functional>
#include <memory>

namespace kt {

class AppState;

// The application's side of quitting. Every way of quitting (the window's
// close button, the quit shortcut, the end of the desktop session) asks
// applicationShouldTerminate first and runs applicationWillTerminate once
// the quit is confirmed, just before the process ends. Main thread only.
class AppDelegate {
  public:
    enum class TerminateReply { Now, Later };
    // Confirms (true) or cancels (false) a quit that was answered Later.
    using ReplyToTermination = std::function<void(bool terminate)>;

    // Absent until the window is first shown; until then quitting does nothing extra.
    std::shared_ptr<AppState> appState;

    // Calls off a pending activation. Logged in: the alert starts and the
    // quit is confirmed through `reply` 2.0 s later. Otherwise the quit may
    // go on at once.
    TerminateReply applicationShouldTerminate(ReplyToTermination reply);

    // Takes the blocking out (waiting for the shell), tells the class of the
    // quit and deletes a running session on the service (waiting at most 3 s
    // for both) and beeps once.
    void applicationWillTerminate();
};

}  // namespace kt
