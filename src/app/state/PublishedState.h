#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/state/Published.h"
#include "platform/Ports.h"

namespace kt {

// What the window shows: the published properties, each announcing every
// write to its observers, and the debug log. The class session and the
// blocking controller write it; the window sees it as AppState. Main thread
// only, except addDebugLog.
class PublishedState {
  public:
    explicit PublishedState(const Ports& ports)
        : scheduler_(ports.scheduler), clock_(ports.clock), timeFormatter_(ports.timeFormatter) {}
    PublishedState(const PublishedState&) = delete;
    PublishedState& operator=(const PublishedState&) = delete;

    Published<bool> isLoggedIn{false};
    Published<std::optional<std::string>> sessionToken;
    Published<std::string> studentName;
    Published<std::string> className;
    Published<std::string> teacherName;
    Published<std::string> schoolName;
    Published<bool> isBlocked{false};
    Published<int> blockedDomainsCount{0};
    Published<std::optional<TimePoint>> lastCheck;
    Published<bool> isLoading{false};
    Published<std::optional<std::string>> errorMessage;
    Published<std::optional<std::string>> statusMessage;
    Published<bool> isInstalling{false};
    Published<std::vector<std::string>> detectedServices;
    Published<int> hostsCount{0};
    Published<int> firewallCount{0};
    Published<std::string> debugLog;
    Published<std::vector<std::string>> blockedDomains;
    Published<bool> isReconnecting{false};

    // Adds "[time] message" at the top of debugLog. Callable from any thread:
    // the time is taken at the call, the line is added on the main queue
    // (unless the state is gone by then).
    void addDebugLog(const std::string& message);

  private:
    Scheduler* scheduler_;
    Clock* clock_;
    TimeFormatter* timeFormatter_;
    // Held weakly by the lines on their way to the main queue.
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};

}  // namespace kt
