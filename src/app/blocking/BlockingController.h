#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/state/PublishedState.h"
#include "app/state/ReceivedStatus.h"
#include "app/state/SessionRequests.h"
#include "blocking/SystemProfile.h"
#include "platform/Ports.h"
#include "privilege/PrivilegedCommand.h"

namespace kt {

struct ActivationPlan;
class ActivationTicket;
class PrivilegedRunQueue;

// What the watchdog takes for a block in force: the activation wrote hosts
// entries and firewall rules.
inline bool isIntactBlock(int hostsCount, int firewallCount) {
    return hostsCount > 0 && firewallCount > 0;
}

// Keeps this computer's block as the class's status says: switches it on and
// off with administrator rights, repairs it (the watchdog), and takes it out
// at the student's request, at start-up after an unfinished run and at
// SIGTERM. It owns the block's flags and counters and the queue of privileged
// runs. Of the class it knows only the status the session hands over; of the
// session it may ask only a reconnect. Main thread only: work that completes
// elsewhere posts to the main queue first.
//
// Its operations, in files named after what they do:
//   app/blocking/FollowStatus.cpp        follow, sessionEnded
//   app/blocking/Activation.cpp          activateBlocking, deactivateBlocking,
//                                        dropPendingActivation, endActivations
//   app/blocking/PrepareActivation.cpp   prepareActivation
//   app/blocking/BlockingCommands.cpp    buildActivateCommand, activationCommand, undoCommand,
//                                        restoreCommand, systemProfile
//   app/blocking/PrivilegedExecution.cpp executeWithAdminRights
//   app/blocking/StudentCleanup.cpp      clearStudentCaches
//   app/blocking/Watchdog.cpp            checkBlockingIntegrity
//   app/blocking/BlockingController.cpp  create, reportInForce
//   app/blocking/NetworkRestore.cpp      forceRestoreNetworkSettings, manualRestoreNetwork
//   app/blocking/StartupCleanup.cpp      startupCleanup
//   app/blocking/SignalHandler.cpp       setupSignalHandlers
class BlockingController : public std::enable_shared_from_this<BlockingController> {
  public:
    // `serviceURL` is the class service's base URL: a block leaves its host reachable.
    static std::shared_ptr<BlockingController> create(const Ports& ports, PublishedState& state,
                                                      SessionRequests& session,
                                                      std::string serviceURL);

    BlockingController(const BlockingController&) = delete;
    BlockingController& operator=(const BlockingController&) = delete;

    bool isActivatingBlocking = false;
    bool isDeactivatingBlocking = false;
    bool hasSuccessfullyActivatedBlocking = false;
    int integrityReconnectAttempts = 0;
    // Privileged runs wait here for their turn; made on first use.
    std::shared_ptr<PrivilegedRunQueue> privilegedRuns;
    const std::string serviceURL;

    // The status the session received: the block follows the teacher's
    // switch when it changed, and the watchdog looks at a block that stays
    // on. Its lists are what the next activation blocks.
    void follow(const ReceivedStatus& status);
    // The session is over: the block comes out.
    void sessionEnded(SessionEnd end);

    // Switching the block on and off with administrator rights.
    void activateBlocking();
    void deactivateBlocking();

    // Hosts entries and firewall rules for the lists followed last; the
    // addresses of the AI hosts they name are looked up on worker threads.
    // Logs the lookup summary (and any input left out), then hands the plan
    // over on the main thread, unless the controller is gone by then.
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
    std::string buildActivateCommand(const ActivationPlan& plan) const;
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
    // The paths and scripts of this operating system: the profile the ports
    // name (macos when the name is unknown).
    const SystemProfile& systemProfile() const;

    // Undoes everything blocking put into the system: synchronously (in an
    // ordinary shell, or through the root helper where the profile has one),
    // or with administrator rights at the student's request. Returns whether
    // the network is known to be back; an ordinary shell cannot tell.
    bool forceRestoreNetworkSettings();
    void manualRestoreNetwork(std::function<void(bool success)> completion);

    // What the class is told of the block: `outcome` with the names and
    // rules the counters say are in force.
    BlockReport reportInForce(BlockOutcome outcome,
                              std::optional<std::string> error = std::nullopt) const;

    // Repairs blocking that should be in force but recorded no hosts or rules.
    void checkBlockingIntegrity();

    // Steps of the application's construction sequence: the blocking an
    // earlier run left behind is taken out (before the window appears), then
    // SIGTERM is answered with a restore.
    void startupCleanup();
    void setupSignalHandlers();

  private:
    BlockingController(const Ports& ports, PublishedState& state, SessionRequests& session,
                       std::string serviceURL);

    bool blockingLeftBehind() const;
    bool restoreThroughHelper();

    PublishedState& state_;
    SessionRequests& session_;
    // The status followed last: its lists are what an activation blocks.
    ReceivedStatus followed_;
    // Counts undo requests (deactivation, restore), so that an activation
    // still preparing its rules knows it was overtaken by one.
    std::uint64_t undoRequests_ = 0;
    // The activation between its start and its privileged run, if any.
    std::shared_ptr<ActivationTicket> pendingActivation_;
    // Set by a quit or SIGTERM (from the signal's own thread).
    std::shared_ptr<std::atomic<bool>> ending_ = std::make_shared<std::atomic<bool>>(false);
    Ports ports_;
};

}  // namespace kt
