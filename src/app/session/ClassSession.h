#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DeploymentSettings.h"
#include "app/state/PublishedState.h"
#include "app/state/ReceivedStatus.h"
#include "app/state/SessionRequests.h"
#include "platform/Ports.h"

namespace kt {

// Where the class service is: its base URL (ends in "/Vexlo/api/") and the
// connectivity probe fetched before a login. Deployment settings; tests
// point them at their own servers.
struct ServiceAddresses {
    std::string apiBaseURL = deployment::serviceBaseUrl;
    std::string probeURL = deployment::probeUrl;
};

// The student's membership of a class, as the class service sees it: login,
// status polling (the program's main loop), logout, reconnect after a wake or
// for a repair, and the session data (token, names, saved credentials, the
// block lists received). It hands the status it receives to a
// StatusFollower and knows nothing else of blocking. Main thread only: work
// that completes elsewhere posts to the main queue first.
//
// Its operations, in files named after what they do:
//   app/session/Login.cpp             loginWithClassCode, performActualLogin, sendLoginRequest
//   app/session/Polling.cpp           startPolling, stopPolling, checkStatus, handleStatusReply
//   app/session/DetectedServices.cpp  updateDetectedServices
//   app/session/Logout.cpp            logout, deleteSessionOnServer, deleteSessionOnServerSync
//   app/session/BlockReports.cpp      reportBlock, blockReportRequest, noteReportAnswer
//   app/session/WakeObserver.cpp      setupWakeObserver
//   app/session/Reconnect.cpp         handleWakeFromSleep, manualReconnect, reconnectAfter,
//                                     performReconnect, reconnectFailed
class ClassSession : public std::enable_shared_from_this<ClassSession>, public SessionRequests {
  public:
    static std::shared_ptr<ClassSession> create(const Ports& ports, PublishedState& state,
                                                StatusFollower& follower,
                                                ServiceAddresses service = {});

    ClassSession(const ClassSession&) = delete;
    ClassSession& operator=(const ClassSession&) = delete;

    std::string savedStudentName;
    std::string savedClassCode;
    std::optional<Scheduler::TimerId> pollTimer;
    // The address lists of the status replies (the names are published as blockedDomains).
    std::vector<std::string> blockIPs;
    std::vector<AddressRange> blockRanges;
    static constexpr double pollInterval = 5.0;
    const std::string apiBaseURL;
    const std::string probeURL;

    // Joins a class: a connectivity probe, a probe of the service root, then
    // the login request. Returns at once; the outcome shows in isLoading,
    // errorMessage, isLoggedIn and the session names.
    void loginWithClassCode(const std::string& studentName, const std::string& classCode);

    // Status polling: one request now, then one every pollInterval.
    void startPolling();
    void stopPolling();
    void checkStatus();

    // Replaces detectedServices with the services the host names cover.
    void updateDetectedServices(const std::vector<std::string>& domains);

    // Leaving the class: stop polling, the block out, the session deleted on
    // the service, the session data cleared.
    void logout();
    // Deletes the session on the service, waiting at most 3 s for the answer;
    // `lastReport`, when given, goes out just before and within the same wait.
    void deleteSessionOnServerSync(const std::optional<BlockReport>& lastReport = std::nullopt);

    // Tells the class service what the block came to (see SessionRequests).
    void reportBlock(const BlockReport& report) override;

    // Logs in again with the saved name and code: at the student's request
    // (while logged in), or `delay` from now with `announcement` shown.
    void manualReconnect();
    void reconnectAfter(Seconds delay, std::string announcement) override;

    // A step of the application's construction sequence: a wake from sleep
    // reconnects.
    void setupWakeObserver();

    const Ports& ports() const { return ports_; }

  private:
    ClassSession(const Ports& ports, PublishedState& state, StatusFollower& follower,
                 ServiceAddresses service);

    // Probes the service root; on any answer it sends the login request.
    void performActualLogin(const std::string& studentName, const std::string& classCode);
    void sendLoginRequest(const std::string& studentName, const std::string& classCode);
    void handleStatusReply(std::uint64_t generation, const std::optional<std::string>& body);
    void deleteSessionOnServer();
    // The report request for the session's token, or nothing while logged out.
    std::optional<HttpRequest> blockReportRequest(const BlockReport& report, Seconds timeout) const;
    // The first report the service did not take is logged; later ones are not.
    void noteReportAnswer(const HttpResult& result);
    void handleWakeFromSleep();
    void performReconnect();
    void reconnectFailed();

    PublishedState& state_;
    StatusFollower& follower_;
    // Bumped whenever polling stops, so that replies to requests sent before
    // are recognised as late and dropped.
    std::uint64_t pollGeneration_ = 0;
    bool reportTroubleLogged_ = false;
    Ports ports_;
};

}  // namespace kt
