#include "app/AppState.h"

namespace kt {

// The registration is never removed; it holds the state weakly, so a wake
// after the state is gone does nothing.
void AppState::setupWakeObserver() {
    if (ports_.wakeNotifications) {
        std::weak_ptr<AppState> weak = weak_from_this();
        ports_.wakeNotifications->observeWake([weak] {
            if (auto self = weak.lock())
                self->handleWakeFromSleep();
        });
    }
    addDebugLog("Wake observer geactiveerd");
}

}  // namespace kt
