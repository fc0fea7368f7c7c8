#include <string>
#include <variant>

#include "app/session/ClassSession.h"
#include "app/session/ServiceCall.h"
#include "session/ServiceRequests.h"
#include "session/ServiceUrls.h"

namespace kt {
namespace {

const char* wireState(BlockOutcome outcome) {
    switch (outcome) {
        case BlockOutcome::Blocked:
            return "blocked";
        case BlockOutcome::Free:
            return "free";
        case BlockOutcome::Failed:
            return "failed";
        case BlockOutcome::Quit:
            return "quit";
    }
    return "free";
}

// Why the service did not take a report, or nothing when it did.
std::optional<std::string> reportTrouble(const HttpResult& result) {
    if (const auto* error = std::get_if<TransportError>(&result))
        return error->description;
    const int status = std::get<HttpResponse>(result).statusCode;
    if (status >= 200 && status < 300)
        return std::nullopt;
    return "HTTP " + std::to_string(status);
}

}  // namespace

void ClassSession::reportBlock(const BlockReport& report) {
    auto request = blockReportRequest(report, Seconds{request_timeout::report});
    if (!request)
        return;
    sendToService(*this, std::move(*request),
                  [](ClassSession& self, HttpResult result) { self.noteReportAnswer(result); });
}

std::optional<HttpRequest> ClassSession::blockReportRequest(const BlockReport& report,
                                                            Seconds timeout) const {
    const auto& token = state_.sessionToken.get();
    if (!state_.isLoggedIn || !token)
        return std::nullopt;
    const auto url = serviceUrl(apiBaseURL, service_endpoint::report);
    const auto body = classReportBody(*token, wireState(report.outcome), report.error, report.names,
                                      report.rules);
    if (!url || !body)
        return std::nullopt;
    HttpRequest request = jsonPostRequest(*url, *body, timeout);
    request.maxBodyBytes = maxReportReplyBytes;
    return request;
}

void ClassSession::noteReportAnswer(const HttpResult& result) {
    if (reportTroubleLogged_)
        return;
    if (const auto trouble = reportTrouble(result)) {
        reportTroubleLogged_ = true;
        state_.addDebugLog("Klasrapport niet aangenomen: " + *trouble + " (verder niet gemeld)");
    }
}

}  // namespace kt
