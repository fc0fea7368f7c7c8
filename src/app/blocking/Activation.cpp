#include <string>

#include "app/blocking/BlockingController.h"
#include "blocking/ActivationPlan.h"
#include "blocking/BlockLists.h"
#include "blocking/SystemProfile.h"
#include "privilege/ActivationTicket.h"

namespace kt {

void BlockingController::activateBlocking() {
    if (isActivatingBlocking) {
        state_.addDebugLog("⚠ Blokkering activatie al bezig, skip");
        return;
    }
    if (ending_->load())
        return;
    isActivatingBlocking = true;
    state_.isInstalling = true;
    state_.statusMessage = systemProfile().usesRootHelper() ? "Blokkering activeren..."
                                                            : "Wachtwoordvenster verschijnt...";

    // The address lookups take a while; an undo asked for in the meantime
    // comes later in intent, so this activation must not be installed after it.
    const std::uint64_t undoSeen = undoRequests_;
    auto ticket = std::make_shared<ActivationTicket>(ending_);
    pendingActivation_ = ticket;
    std::weak_ptr<BlockingController> weak = weak_from_this();
    prepareActivation(ticket, [weak, undoSeen, ticket](const ActivationPlan& plan) {
        auto self = weak.lock();
        if (!self || ticket->isAbandoned())
            return;
        if (self->undoRequests_ != undoSeen) {
            self->dropPendingActivation("intussen uitgeschakeld");
            return;
        }
        self->state_.addDebugLog(
            "DoH/DoT blokkering: " + std::to_string(encryptedDnsRules().size()) + " regels");
        const int hosts = plan.hostsCount();
        const int firewall = plan.firewallCount();
        self->executeWithAdminRights(
            self->activationCommand(plan),
            [weak, ticket, hosts, firewall](bool success, std::optional<std::string> error) {
                auto controller = weak.lock();
                if (!controller || ticket->isCalledOff())
                    return;
                if (controller->pendingActivation_ == ticket)
                    controller->pendingActivation_.reset();
                controller->state_.isInstalling = false;
                controller->isActivatingBlocking = false;
                if (success) {
                    controller->hasSuccessfullyActivatedBlocking = true;
                    // A block the watchdog would find broken (a service that
                    // sends only refused names, say) is no end to its repairs.
                    if (isIntactBlock(hosts, firewall))
                        controller->integrityReconnectAttempts = 0;
                    controller->state_.statusMessage = "Blokkering actief";
                    controller->state_.errorMessage = std::nullopt;
                    controller->state_.hostsCount = hosts;
                    controller->state_.firewallCount = firewall;
                    controller->state_.addDebugLog(
                        "Blokkering geactiveerd: " + std::to_string(hosts) + " hosts, " +
                        std::to_string(firewall) + " firewall regels");
                    // The helper made the lock file if it was not there yet.
                    if (LifetimeLock* lock = controller->ports_.lifetimeLock)
                        lock->hold();
                    if (controller->systemProfile().usesRootHelper())
                        controller->clearStudentCaches();
                    controller->session_.reportBlock(
                        controller->reportInForce(BlockOutcome::Blocked));
                } else {
                    controller->state_.statusMessage = std::nullopt;
                    controller->state_.addDebugLog("Fout bij activeren: " +
                                                   error.value_or("Onbekende fout"));
                    controller->state_.errorMessage =
                        controller->systemProfile().usesRootHelper()
                            ? "Kon blokkering niet activeren: " + error.value_or("onbekende fout")
                            : "Kon blokkering niet activeren. Voer je Mac-wachtwoord in en klik OK "
                              "(niet annuleren).";
                    controller->session_.reportBlock(controller->reportInForce(
                        BlockOutcome::Failed, controller->state_.errorMessage.get()));
                }
            },
            [ticket] { return ticket->startRun(); });
    });
}

void BlockingController::dropPendingActivation(const std::string& reason) {
    auto ticket = std::move(pendingActivation_);
    pendingActivation_.reset();
    if (!ticket || !ticket->callOff())
        return;
    state_.isInstalling = false;
    isActivatingBlocking = false;
    state_.statusMessage = std::nullopt;
    state_.addDebugLog("Blokkering activeren overgeslagen: " + reason);
}

void BlockingController::endActivations() {
    ending_->store(true);
    dropPendingActivation("programma stopt");
}

void BlockingController::deactivateBlocking() {
    if (isDeactivatingBlocking) {
        state_.addDebugLog("WAARSCHUWING: Blokkering deactivatie al bezig, skip");
        return;
    }
    isDeactivatingBlocking = true;
    ++undoRequests_;
    dropPendingActivation("intussen uitgeschakeld");
    state_.addDebugLog("Blokkering deactiveren...");

    std::weak_ptr<BlockingController> weak = weak_from_this();
    executeWithAdminRights(undoCommand(), [weak](bool success, std::optional<std::string> error) {
        auto self = weak.lock();
        if (!self)
            return;
        self->isDeactivatingBlocking = false;
        if (success) {
            self->state_.statusMessage = "Blokkering uitgeschakeld";
            self->state_.hostsCount = 0;
            self->state_.firewallCount = 0;
            self->state_.addDebugLog("Blokkering gedeactiveerd");
            self->session_.reportBlock(self->reportInForce(BlockOutcome::Free));
        } else {
            self->state_.addDebugLog("Fout bij deactiveren: " + error.value_or("onbekend"));
            // The teacher switched off and this computer may still be blocked.
            self->session_.reportBlock(self->reportInForce(
                BlockOutcome::Failed,
                "Kon blokkering niet uitschakelen: " + error.value_or("onbekende fout")));
        }
    });
}

}  // namespace kt
