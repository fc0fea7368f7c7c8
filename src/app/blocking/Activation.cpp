#include <string>

#include "app/AppState.h"
#include "blocking/ActivationPlan.h"
#include "blocking/ActivationTicket.h"
#include "blocking/BlockLists.h"
#include "blocking/SystemProfile.h"

namespace kt {

void AppState::activateBlocking() {
    if (isActivatingBlocking) {
        addDebugLog("⚠ Blokkering activatie al bezig, skip");
        return;
    }
    if (ending_->load())
        return;
    isActivatingBlocking = true;
    isInstalling = true;
    statusMessage = systemProfile().usesRootHelper() ? "Blokkering activeren..."
                                                     : "Wachtwoordvenster verschijnt...";

    // The address lookups take a while; an undo asked for in the meantime
    // comes later in intent, so this activation must not be installed after it.
    const std::uint64_t undoSeen = undoRequests_;
    auto ticket = std::make_shared<ActivationTicket>(ending_);
    pendingActivation_ = ticket;
    std::weak_ptr<AppState> weak = weak_from_this();
    prepareActivation(ticket, [weak, undoSeen, ticket](const ActivationPlan& plan) {
        auto self = weak.lock();
        if (!self || ticket->isAbandoned())
            return;
        if (self->undoRequests_ != undoSeen) {
            self->dropPendingActivation("intussen uitgeschakeld");
            return;
        }
        self->addDebugLog("DoH/DoT blokkering: " + std::to_string(encryptedDnsRules().size()) +
                          " regels");
        const int hosts = plan.hostsCount;
        const int firewall = plan.firewallCount;
        self->executeWithAdminRights(
            self->activationCommand(plan),
            [weak, ticket, hosts, firewall](bool success, std::optional<std::string> error) {
                auto state = weak.lock();
                if (!state || ticket->isCalledOff())
                    return;
                if (state->pendingActivation_ == ticket)
                    state->pendingActivation_.reset();
                state->isInstalling = false;
                state->isActivatingBlocking = false;
                if (success) {
                    state->hasSuccessfullyActivatedBlocking = true;
                    // A block the watchdog would find broken (a service that
                    // sends only refused names, say) is no end to its repairs.
                    if (isIntactBlock(hosts, firewall))
                        state->integrityReconnectAttempts = 0;
                    state->statusMessage = "Blokkering actief";
                    state->errorMessage = std::nullopt;
                    state->hostsCount = hosts;
                    state->firewallCount = firewall;
                    state->addDebugLog("Blokkering geactiveerd: " + std::to_string(hosts) +
                                       " hosts, " + std::to_string(firewall) + " firewall regels");
                    // The helper made the lock file if it was not there yet.
                    if (LifetimeLock* lock = state->ports().lifetimeLock)
                        lock->hold();
                    if (state->systemProfile().usesRootHelper())
                        state->clearStudentCaches();
                } else {
                    state->statusMessage = std::nullopt;
                    state->addDebugLog("Fout bij activeren: " + error.value_or("Onbekende fout"));
                    state->errorMessage =
                        state->systemProfile().usesRootHelper()
                            ? "Kon blokkering niet activeren: " + error.value_or("onbekende fout")
                            : "Kon blokkering niet activeren. Voer je Mac-wachtwoord in en klik OK "
                              "(niet annuleren).";
                }
            },
            [ticket] { return ticket->startRun(); });
    });
}

void AppState::dropPendingActivation(const std::string& reason) {
    auto ticket = std::move(pendingActivation_);
    pendingActivation_.reset();
    if (!ticket || !ticket->callOff())
        return;
    isInstalling = false;
    isActivatingBlocking = false;
    statusMessage = std::nullopt;
    addDebugLog("Blokkering activeren overgeslagen: " + reason);
}

void AppState::endActivations() {
    ending_->store(true);
    dropPendingActivation("programma stopt");
}

void AppState::deactivateBlocking() {
    if (isDeactivatingBlocking) {
        addDebugLog("WAARSCHUWING: Blokkering deactivatie al bezig, skip");
        return;
    }
    isDeactivatingBlocking = true;
    ++undoRequests_;
    dropPendingActivation("intussen uitgeschakeld");
    addDebugLog("Blokkering deactiveren...");

    std::weak_ptr<AppState> weak = weak_from_this();
    executeWithAdminRights(undoCommand(), [weak](bool success, std::optional<std::string> error) {
        auto self = weak.lock();
        if (!self)
            return;
        self->isDeactivatingBlocking = false;
        if (success) {
            self->statusMessage = "Blokkering uitgeschakeld";
            self->hostsCount = 0;
            self->firewallCount = 0;
            self->addDebugLog("Blokkering gedeactiveerd");
        } else {
            self->addDebugLog("Fout bij deactiveren: " + error.value_or("onbekend"));
        }
    });
}

}  // namespace kt
