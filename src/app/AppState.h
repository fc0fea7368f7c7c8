#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/Published.h"
#include "platform/Ports.h"

namespace kt {

// The one state object of the application. It owns the session data, the
// flags and counters, the poll timer and the debug log. It lives on the main
// thread; work that completes elsewhere posts to the main queue first.
//
// Operations are implemented in files named after what they do:
//   app/DebugLog.cpp        addDebugLog
//   session/Polling.cpp     startPolling, stopPolling, checkStatus
//   session/DetectedServices.cpp  updateDetectedServices
class AppState : public std::enable_shared_from_this<AppState> {
public:
    using AddressRange = std::pair<std::string, std::string>;

    // Builds the state with every initial value and runs the construction sequence.
    static std::shared_ptr<AppState> create(const Ports& ports);

    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;
    ~AppState() = default;

    // --- Published properties (observed by the views) ---
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

    // --- Internal state ---
    bool isActivatingBlocking = false;
    bool isDeactivatingBlocking = false;
    bool hasSuccessfullyActivatedBlocking = false;
    int integrityReconnectAttempts = 0;
    std::string savedStudentName;
    std::string savedClassCode;

    // --- Published ---
    Published<std::vector<std::string>> detectedServices;
    Published<int> hostsCount{0};
    Published<int> firewallCount{0};
    Published<std::string> debugLog;
    Published<std::vector<std::string>> blockedDomains;

    // --- Internal ---
    std::optional<Scheduler::TimerId> pollTimer;
    std::vector<std::string> blockIPs;
    std::vector<AddressRange> blockRanges;
    Published<bool> isReconnecting{false};

    // --- Constants ---
    static constexpr double pollInterval = 5.0;

    // --- Operations ---

    // Adds "[time] message" at the top of debugLog. Callable from any thread:
    // the time is taken at the call, the line is added on the main queue.
    void addDebugLog(const std::string& message);

    // Status polling: one request now, then one every pollInterval.
    void startPolling();
    void stopPolling();
    void checkStatus();

    // Replaces detectedServices with the services the host names cover.
    void updateDetectedServices(const std::vector<std::string>& domains);

    const Ports& ports() const { return ports_; }

private:
    explicit AppState(const Ports& ports);
    void init();

    Ports ports_;
};

}  // namespace kt
