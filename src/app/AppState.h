#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/blocking/BlockingController.h"
#include "app/session/ClassSession.h"
#include "app/state/PublishedState.h"
#include "app/state/ReceivedStatus.h"
#include "platform/Ports.h"

namespace kt {

// The object the window sees: the published state, and the operations the
// views call. It owns the two objects that do the work and joins them:
//   the class session (app/session/ClassSession.h): login, polling, logout,
//     reconnect, the detected services and the session data;
//   the blocking controller (app/blocking/BlockingController.h): activation,
//     undo, the watchdog, network restore, start-up clean-up and SIGTERM, the
//     privileged runs and the block's counters.
// The session hands the status it received to the controller (follow), and
// the controller asks the session only for a reconnect; neither knows the
// other. The published state and the debug log (addDebugLog) are in
// app/state/. Each header lists where its operations live; AppState's own:
//   app/AppState.cpp   create, init, loginWithClassCode, logout, manualReconnect,
//                      manualRestoreNetwork
//   app/Alert.cpp      playAlertSound
// Main thread only, except addDebugLog and playAlertSound.
class AppState : public PublishedState,
                 public std::enable_shared_from_this<AppState>,
                 private StatusFollower {
  public:
    // Builds the state with every initial value and runs the construction sequence.
    static std::shared_ptr<AppState> create(const Ports& ports, ServiceAddresses service = {});

    ClassSession& session() { return *session_; }
    BlockingController& blocking() { return *blocking_; }
    const Ports& ports() const { return ports_; }

    // Keeps the last spoken alert alive while it speaks.
    std::shared_ptr<Utterance> speechSynthesizer;

    // --- The operations the views call ---
    void loginWithClassCode(const std::string& studentName, const std::string& classCode);
    // Leaving the class: the alert sounds, then the session ends and takes the block out.
    void logout();
    void manualReconnect();
    void manualRestoreNetwork(std::function<void(bool success)> completion);

    // Three beeps and the spoken Dutch warning. Callable from any thread.
    void playAlertSound();

  private:
    explicit AppState(const Ports& ports);
    void init();

    // The joint: what the session tells the blocking side goes to the controller.
    void follow(const ReceivedStatus& status) override { blocking_->follow(status); }
    void sessionEnded(SessionEnd end) override { blocking_->sessionEnded(end); }
    void sessionRenewed() override { blocking_->activateBlocking(); }

    Ports ports_;
    std::shared_ptr<ClassSession> session_;
    std::shared_ptr<BlockingController> blocking_;
};

}  // namespace kt
