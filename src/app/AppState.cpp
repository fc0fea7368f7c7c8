#include "app/AppState.h"

#include <cassert>

namespace kt {

AppState::AppState(const Ports& ports) : PublishedState(ports), ports_(ports) {
    assert(ports_.scheduler && ports_.clock && ports_.timeFormatter);
}

std::shared_ptr<AppState> AppState::create(const Ports& ports, ServiceAddresses service) {
    std::shared_ptr<AppState> state(new AppState(ports));
    const std::string serviceURL = service.apiBaseURL;
    PublishedState& shown = *state;
    // The session hands its status to this object, which passes it on to the
    // controller (the joint in AppState.h); the controller asks the session
    // itself for a reconnect.
    state->session_ = ClassSession::create(ports, shown, *state, std::move(service));
    state->blocking_ = BlockingController::create(ports, shown, *state->session_, serviceURL);
    state->init();
    return state;
}

// The construction sequence. Every property already holds its initial value;
// what follows needs a shared owner, so it runs after construction.
void AppState::init() {
    if (ports_.lifetimeLock)
        ports_.lifetimeLock->hold();
    session_->setupWakeObserver();
    blocking_->startupCleanup();
    blocking_->setupSignalHandlers();
}

void AppState::loginWithClassCode(const std::string& studentName, const std::string& classCode) {
    session_->loginWithClassCode(studentName, classCode);
}

void AppState::logout() {
    playAlertSound();
    session_->logout();
}

void AppState::manualReconnect() {
    session_->manualReconnect();
}

void AppState::manualRestoreNetwork(std::function<void(bool success)> completion) {
    blocking_->manualRestoreNetwork(std::move(completion));
}

}  // namespace kt
