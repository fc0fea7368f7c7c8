#include <string>

#include "app/session/ClassSession.h"
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

void ClassSession::handleWakeFromSleep() {
    state_.addDebugLog("Computer wakker uit slaapstand");
    if (!state_.isLoggedIn || savedClassCode.empty())
        return;
    state_.addDebugLog("Start reconnect na wake...");
    reconnectAfter(Seconds{3.0}, reconnectingText);
}

void ClassSession::reconnectAfter(Seconds delay, std::string announcement) {
    std::weak_ptr<ClassSession> weak = weak_from_this();
    ports_.scheduler->post([weak, announcement = std::move(announcement)] {
        if (auto self = weak.lock()) {
            self->state_.statusMessage = announcement;
            self->state_.isReconnecting = true;
        }
    });
    ports_.scheduler->postAfter(delay, [weak] {
        if (auto self = weak.lock())
            self->performReconnect();
    });
}

void ClassSession::manualReconnect() {
    if (!state_.isLoggedIn || state_.isReconnecting)
        return;
    state_.addDebugLog("Handmatige reconnect gestart...");
    state_.statusMessage = reconnectingText;
    state_.isReconnecting = true;
    performReconnect();
}

void ClassSession::performReconnect() {
    if (savedStudentName.empty() || savedClassCode.empty()) {
        state_.addDebugLog("Geen opgeslagen credentials voor reconnect");
        state_.isReconnecting = false;
        state_.isLoggedIn = false;
        state_.errorMessage = "Sessie verlopen. Log opnieuw in.";
        return;
    }
    state_.addDebugLog("Maak nieuwe sessie aan...");
    const auto url = serviceUrl(apiBaseURL, service_endpoint::login);
    if (!url) {
        reconnectFailed();
        return;
    }
    LoginRequest login = makeLoginRequest(ports_, *url, savedStudentName, savedClassCode,
                                          Seconds{request_timeout::reconnectLogin});
    sendToService(*this, std::move(login.request), [](ClassSession& self, HttpResult result) {
        if (const auto* error = std::get_if<TransportError>(&result)) {
            self.state_.addDebugLog("Reconnect error: " + error->description);
            self.reconnectFailed();
            return;
        }
        const auto token = newSessionToken(std::get<HttpResponse>(result).body);
        if (!token) {
            self.state_.addDebugLog("Reconnect mislukt: geen geldige sessie");
            self.reconnectFailed();
            return;
        }
        self.state_.sessionToken = *token;
        self.state_.addDebugLog("Nieuwe sessie aangemaakt!");
        self.state_.statusMessage = "Verbonden! Blokkering activeren...";
        self.follower_.sessionRenewed();
        self.startPolling();
        std::weak_ptr<ClassSession> weak = self.weak_from_this();
        self.ports_.scheduler->postAfter(Seconds{2.0}, [weak] {
            if (auto session = weak.lock()) {
                session->state_.isReconnecting = false;
                session->state_.statusMessage = std::nullopt;
            }
        });
    });
}

void ClassSession::reconnectFailed() {
    state_.addDebugLog("Reconnect gefaald - terug naar login");
    state_.isReconnecting = false;
    stopPolling();
    follower_.sessionEnded(SessionEnd::Lost);
    state_.sessionToken = std::nullopt;
    state_.isLoggedIn = false;
    state_.errorMessage = "Verbinding verloren. Log opnieuw in.";
}

}  // namespace kt
