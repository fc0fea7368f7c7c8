#include "app/session/ClassSession.h"

namespace kt {

// The registration is never removed; it holds the session weakly, so a wake
// after the session is gone does nothing.
void ClassSession::setupWakeObserver() {
    if (ports_.wakeNotifications) {
        std::weak_ptr<ClassSession> weak = weak_from_this();
        ports_.wakeNotifications->observeWake([weak] {
            if (auto self = weak.lock())
                self->handleWakeFromSleep();
        });
    }
    state_.addDebugLog("Wake observer geactiveerd");
}

}  // namespace kt
