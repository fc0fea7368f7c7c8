#include "app/AppState.h"
#include "app/StartupCleanupAlert.h"
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

// The lock file outlives a run that ended without taking its blocking out
// (a crash, a forced kill, a power loss). The restore waits for its shell, so
// the window appears only once the network is back.
void AppState::startupCleanup() {
    if (!ports_.files || !ports_.files->exists(systemProfile().paths().lockFile))
        return;

    addDebugLog("STARTUP CLEANUP: Lock gevonden - vorige sessie niet correct afgesloten");
    forceRestoreNetworkSettings();
    addDebugLog("STARTUP CLEANUP: Netwerkinstellingen hersteld");

    ModalAlert* alert = ports_.modalAlert;
    ports_.scheduler->postAfter(Seconds{1.0}, [alert] {
        if (alert)
            alert->runModal(networkRestoredAtStartupAlert());
    });
}

}  // namespace kt
