#include "app/AppState.h"

#include <cassert>

namespace kt {

AppState::AppState(const Ports& ports) : systemProfileName(ports.systemProfile), ports_(ports) {
    assert(ports_.scheduler && ports_.clock && ports_.timeFormatter);
}

std::shared_ptr<AppState> AppState::create(const Ports& ports) {
    std::shared_ptr<AppState> state(new AppState(ports));
    state->init();
    return state;
}

// The construction sequence. Every property already holds its initial value;
// what follows needs a shared owner, so it runs after construction.
void AppState::init() {
    if (ports_.lifetimeLock)
        ports_.lifetimeLock->hold();
    setupWakeObserver();
    startupCleanup();
    setupSignalHandlers();
}

}  // namespace kt
