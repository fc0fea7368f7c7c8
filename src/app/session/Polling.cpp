#include <string>

#include "app/AppState.h"
#include "app/session/ServiceCall.h"
#include "blocking/Limits.h"
#include "session/JsonReply.h"
#include "session/ServiceReplies.h"
#include "session/ServiceRequests.h"
#include "session/ServiceUrls.h"

namespace kt {

void AppState::startPolling() {
    stopPolling();
    checkStatus();
    std::weak_ptr<AppState> weak = weak_from_this();
    pollTimer = ports_.scheduler->startRepeating(Seconds{pollInterval}, [weak] {
        if (auto self = weak.lock())
            self->checkStatus();
    });
}

void AppState::stopPolling() {
    // Replies to requests already sent belong to a session that has ended (or
    // been replaced): they are recognised by the generation and dropped.
    ++pollGeneration_;
    if (!pollTimer)
        return;
    ports_.scheduler->cancelRepeating(*pollTimer);
    pollTimer.reset();
}

void AppState::checkStatus() {
    if (!sessionToken.get())
        return;
    const auto url = statusUrl(apiBaseURL, *sessionToken.get());
    if (!url)
        return;
    const std::uint64_t generation = pollGeneration_;
    HttpRequest request = getRequest(*url);
    request.maxBodyBytes = maxStatusReplyBytes;
    sendToService(*this, std::move(request), [generation](AppState& self, HttpResult result) {
        std::optional<std::string> body;
        if (auto* response = std::get_if<HttpResponse>(&result))
            body = std::move(response->body);
        else if (isBodyTooLarge(std::get<TransportError>(result)))
            self.addDebugLog("Statusantwoord te groot (meer dan 1 MiB), genegeerd");
        self.handleStatusReply(generation, body);
    });
}

void AppState::handleStatusReply(std::uint64_t generation, const std::optional<std::string>& body) {
    if (generation != pollGeneration_)
        return;
    lastCheck = ports_.clock->now();
    if (!body)
        return;
    const ParsedReply parsed = parseReply(*body);
    if (!parsed.isObject())
        return;
    const StatusReply reply = readStatusReply(*parsed.object);

    if (reply.sessionEnded) {
        stopPolling();
        deactivateBlocking();
        isLoggedIn = false;
        errorMessage = "Sessie verlopen. Voer je klascode opnieuw in.";
        return;
    }

    const std::size_t previousCount = blockedDomains.get().size();
    if (reply.domains) {
        blockedDomains = *reply.domains;
        blockedDomainsCount = static_cast<int>(reply.domains->size());
        updateDetectedServices(*reply.domains);
        if (reply.domains->size() != previousCount)
            addDebugLog("API: " + std::to_string(reply.domains->size()) + " domeinen ontvangen");
    }
    if (reply.ips)
        blockIPs = *reply.ips;
    if (reply.ipRanges)
        blockRanges = *reply.ipRanges;
    if (reply.className)
        className = *reply.className;
    if (reply.teacherName)
        teacherName = *reply.teacherName;

    const bool reported = reply.isBlocked;
    if (isBlocked != reported) {
        isBlocked = reported;
        addDebugLog(std::string("Status: ") + (reported ? "GEBLOKKEERD" : "VRIJGEGEVEN"));
        if (reported && !isActivatingBlocking)
            activateBlocking();
        if (!reported && !isDeactivatingBlocking)
            deactivateBlocking();
    } else if (reported) {
        checkBlockingIntegrity();
    }
}

}  // namespace kt
