#include <condition_variable>
#include <memory>
#include <mutex>

#include "app/AppState.h"
#include "app/session/ServiceCall.h"
#include "session/ServiceRequests.h"
#include "session/ServiceUrls.h"

namespace kt {

void AppState::logout() {
    playAlertSound();
    stopPolling();
    deactivateBlocking();
    deleteSessionOnServer();
    sessionToken = std::nullopt;
    isLoggedIn = false;
    isBlocked = false;
    studentName = "";
    className = "";
    teacherName = "";
    schoolName = "";
    blockedDomains.set({});
    blockIPs.clear();
    blockRanges.clear();
    detectedServices.set({});
}

void AppState::deleteSessionOnServer() {
    if (!sessionToken.get())
        return;
    const auto url = serviceUrl(apiBaseURL, service_endpoint::logout);
    if (!url)
        return;
    // Best effort: the answer is not looked at.
    ports_.http->send(logoutRequest(*url, *sessionToken.get(), Seconds{request_timeout::logout}),
                      [](HttpResult) {});
}

void AppState::deleteSessionOnServerSync() {
    if (!sessionToken.get())
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
        logoutRequest(*url, *sessionToken.get(), Seconds{request_timeout::logoutAtQuit}),
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
