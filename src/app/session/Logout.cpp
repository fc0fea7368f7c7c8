#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "app/session/ClassSession.h"
#include "app/session/ServiceCall.h"
#include "session/ServiceRequests.h"
#include "session/ServiceUrls.h"

namespace kt {

void ClassSession::logout() {
    stopPolling();
    follower_.sessionEnded(SessionEnd::LoggedOut);
    deleteSessionOnServer();
    state_.sessionToken = std::nullopt;
    state_.isLoggedIn = false;
    state_.studentName = "";
    state_.className = "";
    state_.teacherName = "";
    state_.schoolName = "";
    state_.blockedDomains.set({});
    blockIPs.clear();
    blockRanges.clear();
    state_.detectedServices.set({});
}

void ClassSession::deleteSessionOnServer() {
    if (!state_.sessionToken.get())
        return;
    const auto url = serviceUrl(apiBaseURL, service_endpoint::logout);
    if (!url)
        return;
    // Best effort: the answer is not looked at.
    ports_.http->send(
        logoutRequest(*url, *state_.sessionToken.get(), Seconds{request_timeout::logout}),
        [](HttpResult) {});
}

void ClassSession::deleteSessionOnServerSync(const std::optional<BlockReport>& lastReport) {
    if (!state_.sessionToken.get())
        return;
    const auto url = serviceUrl(apiBaseURL, service_endpoint::logout);
    if (!url)
        return;
    const Seconds deadline{request_timeout::logoutAtQuit};
    std::vector<HttpRequest> requests;
    if (auto report = lastReport ? blockReportRequest(*lastReport, deadline) : std::nullopt)
        requests.push_back(std::move(*report));
    requests.push_back(logoutRequest(*url, *state_.sessionToken.get(), deadline));

    // The completions run on the HTTP client's thread and may come after the
    // wait has given up, so the count lives as long as either side needs it.
    struct Signal {
        std::mutex mutex;
        std::condition_variable answered;
        std::size_t waiting = 0;
    };
    auto signal = std::make_shared<Signal>();
    signal->waiting = requests.size();
    for (HttpRequest& request : requests)
        ports_.http->send(std::move(request), [signal](HttpResult) {
            std::lock_guard lock(signal->mutex);
            --signal->waiting;
            signal->answered.notify_all();
        });
    std::unique_lock lock(signal->mutex);
    ports_.blockingWait->waitFor(signal->answered, lock, deadline,
                                 [&] { return signal->waiting == 0; });
}

}  // namespace kt
