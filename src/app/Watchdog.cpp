#include <string>

#include "app/AppState.h"

namespace kt {
namespace {

constexpr int maxRepairAttempts = 2;

}  // namespace

void AppState::checkBlockingIntegrity() {
    if (!hasSuccessfullyActivatedBlocking)
        return;
    const bool broken = isBlocked && !isIntactBlock(hostsCount, firewallCount) && !isReconnecting &&
                        !isActivatingBlocking;
    if (!broken)
        return;

    if (integrityReconnectAttempts >= maxRepairAttempts) {
        addDebugLog("Herstel gestopt na " + std::to_string(integrityReconnectAttempts) +
                    " pogingen - log opnieuw in");
        statusMessage = std::nullopt;
        return;
    }

    ++integrityReconnectAttempts;
    addDebugLog("WAARSCHUWING: Blocking niet actief! hosts=" + std::to_string(hostsCount) +
                ", firewall=" + std::to_string(firewallCount) + " - herstel poging " +
                std::to_string(integrityReconnectAttempts));
    std::weak_ptr<AppState> weak = weak_from_this();
    ports_.scheduler->post([weak] {
        if (auto self = weak.lock()) {
            self->statusMessage = "Blokkering herstellen...";
            self->isReconnecting = true;
        }
    });
    ports_.scheduler->postAfter(Seconds{1.0}, [weak] {
        if (auto self = weak.lock())
            self->performReconnect();
    });
}

}  // namespace kt
