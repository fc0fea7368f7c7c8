#include <string>

#include "app/session/ClassSession.h"
#include "app/session/ServiceCall.h"
#include "session/JsonReply.h"
#include "session/ServiceReplies.h"
#include "session/ServiceRequests.h"
#include "session/ServiceUrls.h"

namespace kt {

void ClassSession::startPolling() {
    stopPolling();
    checkStatus();
    std::weak_ptr<ClassSession> weak = weak_from_this();
    pollTimer = ports_.scheduler->startRepeating(Seconds{pollInterval}, [weak] {
        if (auto self = weak.lock())
            self->checkStatus();
    });
}

void ClassSession::stopPolling() {
    // Replies to requests already sent belong to a session that has ended (or
    // been replaced): they are recognised by the generation and dropped.
    ++pollGeneration_;
    if (!pollTimer)
        return;
    ports_.scheduler->cancelRepeating(*pollTimer);
    pollTimer.reset();
}

void ClassSession::checkStatus() {
    if (!state_.sessionToken.get())
        return;
    const auto url = statusUrl(apiBaseURL, *state_.sessionToken.get());
    if (!url)
        return;
    const std::uint64_t generation = pollGeneration_;
    HttpRequest request = getRequest(*url);
    request.maxBodyBytes = maxStatusReplyBytes;
    sendToService(*this, std::move(request), [generation](ClassSession& self, HttpResult result) {
        std::optional<std::string> body;
        if (auto* response = std::get_if<HttpResponse>(&result))
            body = std::move(response->body);
        else if (isBodyTooLarge(std::get<TransportError>(result)))
            self.state_.addDebugLog("Statusantwoord te groot (meer dan 1 MiB), genegeerd");
        self.handleStatusReply(generation, body);
    });
}

void ClassSession::handleStatusReply(std::uint64_t generation,
                                     const std::optional<std::string>& body) {
    if (generation != pollGeneration_)
        return;
    state_.lastCheck = ports_.clock->now();
    if (!body)
        return;
    const ParsedReply parsed = parseReply(*body);
    if (!parsed.isObject())
        return;
    const StatusReply reply = readStatusReply(*parsed.object);

    if (reply.sessionEnded) {
        stopPolling();
        follower_.sessionEnded(SessionEnd::Expired);
        state_.isLoggedIn = false;
        state_.errorMessage = "Sessie verlopen. Voer je klascode opnieuw in.";
        return;
    }

    const std::size_t previousCount = state_.blockedDomains.get().size();
    if (reply.domains) {
        state_.blockedDomains = *reply.domains;
        state_.blockedDomainsCount = static_cast<int>(reply.domains->size());
        updateDetectedServices(*reply.domains);
        if (reply.domains->size() != previousCount)
            state_.addDebugLog("API: " + std::to_string(reply.domains->size()) +
                               " domeinen ontvangen");
    }
    if (reply.ips)
        blockIPs = *reply.ips;
    if (reply.ipRanges)
        blockRanges = *reply.ipRanges;
    if (reply.className)
        state_.className = *reply.className;
    if (reply.teacherName)
        state_.teacherName = *reply.teacherName;

    follower_.follow({reply.isBlocked, state_.blockedDomains.get(), blockIPs, blockRanges});
}

}  // namespace kt
