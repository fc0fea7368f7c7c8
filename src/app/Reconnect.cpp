#include <string>

#include "app/AppState.h"
#include "app/session/ServiceCall.h"
#include "session/JsonReply.h"
#include "session/LoginRequest.h"
#include "session/ServiceReplies.h"
#include "session/ServiceRequests.h"
#include "session/ServiceUrls.h"

namespace kt {
namespace {

constexpr const char* reconnectingText = "Verbinding herstellen...";

// The new session token: what a login accepts, with a token in it.
std::optional<std::string> newSessionToken(const std::string& body) {
    const ParsedReply parsed = parseReply(body);
    if (!parsed.isObject())
        return std::nullopt;
    const LoginReply reply = readLoginReply(*parsed.object);
    if (!reply.success)
        return std::nullopt;
    return reply.sessionToken;
}

}  // namespace

void AppState::handleWakeFromSleep() {
    addDebugLog("Computer wakker uit slaapstand");
    if (!isLoggedIn || savedClassCode.empty())
        return;
    addDebugLog("Start reconnect na wake...");
    std::weak_ptr<AppState> weak = weak_from_this();
    ports_.scheduler->post([weak] {
        if (auto self = weak.lock()) {
            self->statusMessage = reconnectingText;
            self->isReconnecting = true;
        }
    });
    ports_.scheduler->postAfter(Seconds{3.0}, [weak] {
        if (auto self = weak.lock())
            self->performReconnect();
    });
}

void AppState::manualReconnect() {
    if (!isLoggedIn || isReconnecting)
        return;
    addDebugLog("Handmatige reconnect gestart...");
    statusMessage = reconnectingText;
    isReconnecting = true;
    performReconnect();
}

void AppState::performReconnect() {
    if (savedStudentName.empty() || savedClassCode.empty()) {
        addDebugLog("Geen opgeslagen credentials voor reconnect");
        isReconnecting = false;
        isLoggedIn = false;
        errorMessage = "Sessie verlopen. Log opnieuw in.";
        return;
    }
    addDebugLog("Maak nieuwe sessie aan...");
    const auto url = serviceUrl(apiBaseURL, service_endpoint::login);
    if (!url) {
        reconnectFailed();
        return;
    }
    LoginRequest login = makeLoginRequest(ports_, *url, savedStudentName, savedClassCode,
                                          Seconds{request_timeout::reconnectLogin});
    sendToService(*this, std::move(login.request), [](AppState& self, HttpResult result) {
        if (const auto* error = std::get_if<TransportError>(&result)) {
            self.addDebugLog("Reconnect error: " + error->description);
            self.reconnectFailed();
            return;
        }
        const auto token = newSessionToken(std::get<HttpResponse>(result).body);
        if (!token) {
            self.addDebugLog("Reconnect mislukt: geen geldige sessie");
            self.reconnectFailed();
            return;
        }
        self.sessionToken = *token;
        self.addDebugLog("Nieuwe sessie aangemaakt!");
        self.statusMessage = "Verbonden! Blokkering activeren...";
        self.activateBlocking();
        self.startPolling();
        std::weak_ptr<AppState> weak = self.weak_from_this();
        self.ports().scheduler->postAfter(Seconds{2.0}, [weak] {
            if (auto state = weak.lock()) {
                state->isReconnecting = false;
                state->statusMessage = std::nullopt;
            }
        });
    });
}

void AppState::reconnectFailed() {
    addDebugLog("Reconnect gefaald - terug naar login");
    isReconnecting = false;
    integrityReconnectAttempts = 0;
    stopPolling();
    deactivateBlocking();
    sessionToken = std::nullopt;
    isLoggedIn = false;
    isBlocked = false;
    hostsCount = 0;
    firewallCount = 0;
    errorMessage = "Verbinding verloren. Log opnieuw in.";
}

}  // namespace kt
