#include <string>

#include "app/blocking/BlockingController.h"

namespace kt {
namespace {

constexpr int maxRepairAttempts = 2;

}  // namespace

void BlockingController::checkBlockingIntegrity() {
    if (!hasSuccessfullyActivatedBlocking)
        return;
    const bool broken = state_.isBlocked &&
                        !isIntactBlock(state_.hostsCount, state_.firewallCount) &&
                        !state_.isReconnecting && !isActivatingBlocking;
    if (!broken)
        return;

    if (integrityReconnectAttempts >= maxRepairAttempts) {
        state_.addDebugLog("Herstel gestopt na " + std::to_string(integrityReconnectAttempts) +
                           " pogingen - log opnieuw in");
        state_.statusMessage = std::nullopt;
        return;
    }

    ++integrityReconnectAttempts;
    state_.addDebugLog(
        "WAARSCHUWING: Blocking niet actief! hosts=" + std::to_string(state_.hostsCount) +
        ", firewall=" + std::to_string(state_.firewallCount) + " - herstel poging " +
        std::to_string(integrityReconnectAttempts));
    session_.reconnectAfter(Seconds{1.0}, "Blokkering herstellen...");
}

}  // namespace kt
