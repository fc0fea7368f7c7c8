#include <condition_variable>
#include <memory>
#include <mutex>

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

void ClassSession::deleteSessionOnServerSync() {
    if (!state_.sessionToken.get())
        return;
    const auto url = serviceUrl(apiBaseURL, service_endpoint::logout);
    if (!url)
        return;

    // The completion runs on the HTTP client's thread and may come after the
    // wait has given up, so the signal lives as long as either side needs it.
    struct Signal {
        std::mutex mutex;
        std::condition_variable answered;
        bool done = false;
    };
    auto signal = std::make_shared<Signal>();
    ports_.http->send(
        logoutRequest(*url, *state_.sessionToken.get(), Seconds{request_timeout::logoutAtQuit}),
        [signal](HttpResult) {
            std::lock_guard lock(signal->mutex);
            signal->done = true;
            signal->answered.notify_all();
        });
    std::unique_lock lock(signal->mutex);
    ports_.blockingWait->waitFor(signal->answered, lock, Seconds{request_timeout::logoutAtQuit},
                                 [&] { return signal->done; });
}

}  // namespace kt
