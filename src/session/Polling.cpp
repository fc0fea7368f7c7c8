#include "app/AppState.h"

namespace kt {

void AppState::startPolling() {
    stopPolling();
    checkStatus();
    std::weak_ptr<AppState> weak = weak_from_this();
    pollTimer = ports_.scheduler->startRepeating(Seconds{pollInterval}, [weak] {
        if (auto self = weak.lock()) self->checkStatus();
    });
}

void AppState::stopPolling() {
    if (!pollTimer) return;
    ports_.scheduler->cancelRepeating(*pollTimer);
    pollTimer.reset();
}

void AppState::checkStatus() {}

}  // namespace kt
