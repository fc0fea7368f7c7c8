#include <string>

#include "app/blocking/BlockingController.h"

namespace kt {

void BlockingController::follow(const ReceivedStatus& status) {
    followed_ = status;
    if (state_.isBlocked != status.blocked) {
        state_.isBlocked = status.blocked;
        state_.addDebugLog(std::string("Status: ") +
                           (status.blocked ? "GEBLOKKEERD" : "VRIJGEGEVEN"));
        if (status.blocked && !isActivatingBlocking)
            activateBlocking();
        if (!status.blocked && !isDeactivatingBlocking)
            deactivateBlocking();
    } else if (status.blocked) {
        checkBlockingIntegrity();
    }
}

void BlockingController::sessionEnded(SessionEnd end) {
    switch (end) {
        case SessionEnd::Expired:
            deactivateBlocking();
            break;
        case SessionEnd::LoggedOut:
            deactivateBlocking();
            state_.isBlocked = false;
            followed_ = {};
            break;
        case SessionEnd::Lost:
            integrityReconnectAttempts = 0;
            deactivateBlocking();
            state_.isBlocked = false;
            state_.hostsCount = 0;
            state_.firewallCount = 0;
            break;
    }
}

}  // namespace kt
