#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "DeploymentSettings.h"
#include "app/Published.h"
#include "blocking/PrivilegedCommand.h"
#include "blocking/SystemProfile.h"
#include "platform/Ports.h"

namespace kt {

struct ActivationPlan;
class ActivationTicket;
class PrivilegedRunQueue;

// What the watchdog takes for a block in force: the activation wrote hosts
// entries and firewall rules.
inline bool isIntactBlock(int hostsCount, int firewallCount) {
    return hostsCount > 0 && firewallCount > 0;
}

// The one state object of the application. It owns the session data, the
// flags and counters, the poll timer and the debug log. It lives on the main
// thread; work that completes elsewhere posts to the main queue first.
//
// Operations are implemented in files named after what they do, in app/ and
// its subfolders named after the concern (plain logic without an AppState
// lives in session/ and blocking/):
//   app/DebugLog.cpp                   addDebugLog
//   app/session/Login.cpp              loginWithClassCode, performActualLogin, sendLoginRequest
//   app/session/Polling.cpp            startPolling, stopPolling, checkStatus, handleStatusReply
//   app/session/DetectedServices.cpp   updateDetectedServices
//   app/session/Logout.cpp             logout, deleteSessionOnServer, deleteSessionOnServerSync
//   app/blocking/Activation.cpp        activateBlocking, deactivateBlocking, dropPendingActivation,
//                                      endActivations
//   app/blocking/PrepareActivation.cpp prepareActivation
//   app/blocking/BlockingCommands.cpp  buildActivateCommand, activationCommand, undoCommand,
//                                      restoreCommand, systemProfile
//   app/blocking/PrivilegedExecution.cpp executeWithAdminRights
//   app/blocking/StudentCleanup.cpp    clearStudentCaches
//   app/NetworkRestore.cpp             forceRestoreNetworkSettings, manualRestoreNetwork
//   app/Watchdog.cpp                   checkBlockingIntegrity
//   app/Alert.cpp                      playAlertSound
//   app/StartupCleanup.cpp             startupCleanup
//   app/SignalHandler.cpp              setupSignalHandlers
//   app/WakeObserver.cpp               setupWakeObserver
//   app/Reconnect.cpp                  handleWakeFromSleep, manualReconnect, performReconnect,
//                                      reconnectFailed
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
    // Privileged runs wait here for their turn; made on first use.
    std::shared_ptr<PrivilegedRunQueue> privilegedRuns;
    // Keeps the last spoken alert alive while it speaks.
    std::shared_ptr<Utterance> speechSynthesizer;

    // --- Constants ---
    static constexpr double pollInterval = 5.0;
    // The system profile that blocking writes through ("macos", "linux"),
    // taken from the ports.
    std::string systemProfileName = "macos";
    // Deployment settings: the class service's base URL (ends in "/Vexlo/api/")
    // and the connectivity probe. Tests point them at their own servers.
    std::string apiBaseURL = deployment::serviceBaseUrl;
    std::string probeURL = deployment::probeUrl;

    // --- Operations ---

    // Adds "[time] message" at the top of debugLog. Callable from any thread:
    // the time is taken at the call, the line is added on the main queue.
    void addDebugLog(const std::string& message);

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

    // Leaving the class: alert, stop polling, undo the block, delete the session.
    void logout();
    // Deletes the session on the service, waiting at most 3 s for the answer.
    void deleteSessionOnServerSync();

    // Switching the block on and off with administrator rights.
    void activateBlocking();
    void deactivateBlocking();

    // Hosts entries, rule text and counters for the current block lists; the
    // addresses of the AI hosts they name are looked up on worker threads.
    // Logs the lookup summary (and any input left out), then hands the plan
    // over on the main thread, unless the state is gone by then.
    // Lookups still waiting for a thread are skipped once `ticket` is abandoned.
    void prepareActivation(std::shared_ptr<const ActivationTicket> ticket,
                           std::function<void(const ActivationPlan&)> completion);
    // Calls off an activation that has not started its privileged run: its
    // lookups still waiting are skipped and its plan is never installed.
    void dropPendingActivation(const std::string& reason);
    // The application is ending (a quit): the pending activation is dropped
    // and no activation starts any more.
    void endActivations();
    // The activation script of the system profile for the user's home folder.
    std::string buildActivateCommand(const std::string& hostsEntries,
                                     const std::string& rulesText) const;
    // The blocking steps as the administrator runs them: a script of the
    // profile, or a verb of the root helper where the profile has one.
    PrivilegedCommand activationCommand(const ActivationPlan& plan) const;
    PrivilegedCommand undoCommand() const;
    PrivilegedCommand restoreCommand(RestoreVariant variant, bool backupPresent) const;
    // Runs the step as the administrator, after every run asked for before
    // it. `completion` runs exactly once, on the main thread.
    using PrivilegedCompletion =
        std::function<void(bool success, std::optional<std::string> error)>;
    // When `mayStart` says no at the run's turn, nothing runs and it fails.
    void executeWithAdminRights(const PrivilegedCommand& command, PrivilegedCompletion completion,
                                std::function<bool()> mayStart = {});
    void executeWithAdminRights(const std::string& script, PrivilegedCompletion completion,
                                std::function<bool()> mayStart = {});
    // What the student may do alone after a block is in force (linux): the
    // caches of editors and browsers in the home folder removed, never
    // following a link out of it, and the student's own browsers closed.
    void clearStudentCaches();
    // The paths and scripts of this operating system (see systemProfileName).
    const SystemProfile& systemProfile() const;

    // Undoes everything blocking put into the system: synchronously (in an
    // ordinary shell, or through the root helper where the profile has one),
    // or with administrator rights at the student's request. Returns whether
    // the network is known to be back; an ordinary shell cannot tell.
    bool forceRestoreNetworkSettings();
    void manualRestoreNetwork(std::function<void(bool success)> completion);

    // Repairs blocking that should be in force but recorded no hosts or rules.
    void checkBlockingIntegrity();
    // Three beeps and the spoken Dutch warning. Callable from any thread.
    void playAlertSound();

    // Logs in again with the saved name and code.
    void manualReconnect();

    const Ports& ports() const { return ports_; }

  private:
    explicit AppState(const Ports& ports);
    void init();

    void handleStatusReply(std::uint64_t generation, const std::optional<std::string>& body);
    void deleteSessionOnServer();
    void startupCleanup();
    bool blockingLeftBehind() const;
    bool restoreThroughHelper();
    void setupSignalHandlers();
    void setupWakeObserver();
    void handleWakeFromSleep();
    void performReconnect();
    void reconnectFailed();

    // Bumped whenever polling stops, so that replies to requests sent before
    // are recognised as late and dropped.
    std::uint64_t pollGeneration_ = 0;
    // Counts undo requests (deactivation, restore), so that an activation
    // still preparing its rules knows it was overtaken by one.
    std::uint64_t undoRequests_ = 0;
    // The activation between its start and its privileged run, if any.
    std::shared_ptr<ActivationTicket> pendingActivation_;
    // Set by a quit or SIGTERM (from the signal's own thread).
    std::shared_ptr<std::atomic<bool>> ending_ = std::make_shared<std::atomic<bool>>(false);

    void performActualLogin(const std::string& studentName, const std::string& classCode);
    void sendLoginRequest(const std::string& studentName, const std::string& classCode);

    Ports ports_;
};

}  // namespace kt
