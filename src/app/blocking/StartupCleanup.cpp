#include "app/blocking/BlockingController.h"
#include "app/blocking/StartupCleanupAlert.h"
#include "blocking/SystemProfile.h"

namespace kt {

AlertContent networkRestoredAtStartupAlert() {
    AlertContent alert;
    alert.style = AlertContent::Style::Informational;
    alert.messageText = "Internetinstellingen hersteld";
    alert.informativeText =
        "De vorige sessie van Ridudiziv Ka Tesmar werd niet correct afgesloten. Je "
        "internetinstellingen zijn automatisch hersteld.\n\nAlles werkt nu weer normaal.";
    alert.buttons = {"OK"};
    return alert;
}

AlertContent networkNotRestoredAtStartupAlert() {
    AlertContent alert;
    alert.style = AlertContent::Style::Warning;
    alert.messageText = "Internetinstellingen niet hersteld";
    alert.informativeText =
        "De vorige sessie van Ridudiziv Ka Tesmar werd niet correct afgesloten en de blokkering "
        "kon niet automatisch worden opgeheven.\n\nGebruik de knop \"Herstel Internet\" of vraag "
        "de beheerder om 'ka-tesmar-admin restore'.";
    alert.buttons = {"OK"};
    return alert;
}

// The lock file says so. Where it lies in a folder only root can read (the
// root helper's profiles), the guardian's timer and the hosts block, which
// everyone can see, say so too: the guardian is installed before a block and
// removed only once it is out again.
bool BlockingController::blockingLeftBehind() const {
    const SystemProfile& profile = systemProfile();
    const SystemPaths& paths = profile.paths();
    if (ports_.files->exists(paths.lockFile))
        return true;
    if (!profile.usesRootHelper())
        return false;
    if (ports_.files->exists(paths.guardianDefinition))
        return true;
    const auto hosts = ports_.files->readFile(paths.hostsFile);
    return hosts && hosts->find(paths.hostsStartMarker) != std::string::npos;
}

// The lock file outlives a run that ended without taking its blocking out
// (a crash, a forced kill, a power loss). The restore waits for its shell, so
// the window appears only once the network is back.
void BlockingController::startupCleanup() {
    if (!ports_.files || !blockingLeftBehind())
        return;

    state_.addDebugLog("STARTUP CLEANUP: Lock gevonden - vorige sessie niet correct afgesloten");
    const bool restored = forceRestoreNetworkSettings();
    state_.addDebugLog(restored ? "STARTUP CLEANUP: Netwerkinstellingen hersteld"
                                : "STARTUP CLEANUP FOUT: Netwerkinstellingen niet hersteld");

    ModalAlert* alert = ports_.modalAlert;
    ports_.scheduler->postAfter(Seconds{1.0}, [alert, restored] {
        if (alert)
            alert->runModal(restored ? networkRestoredAtStartupAlert()
                                     : networkNotRestoredAtStartupAlert());
    });
}

}  // namespace kt
