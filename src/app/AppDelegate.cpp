#include "app/AppDelegate.h"

#include "app/AppState.h"

namespace kt {
namespace {

// Long enough for the three beeps and the start of the spoken warning.
constexpr Seconds quitHold{2.0};

}  // namespace

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate(ReplyToTermination reply) {
    if (!appState)
        return TerminateReply::Now;
    // Nothing may be blocked any more, not even during the hold, and the
    // lookups of a pending activation must not keep the quit waiting.
    appState->blocking().endActivations();
    if (!appState->isLoggedIn)
        return TerminateReply::Now;
    appState->playAlertSound();
    appState->ports().scheduler->postAfter(quitHold, [reply = std::move(reply)] { reply(true); });
    return TerminateReply::Later;
}

void AppDelegate::applicationWillTerminate() {
    if (!appState)
        return;
    BlockingController& blocking = appState->blocking();
    blocking.endActivations();
    const bool restored = blocking.forceRestoreNetworkSettings();
    // The class hears of the quit first, within the wait for the logout.
    if (appState->isLoggedIn)
        appState->session().deleteSessionOnServerSync(
            restored ? BlockReport{BlockOutcome::Quit}
                     : blocking.reportInForce(BlockOutcome::Quit));
    if (Beeper* beeper = appState->ports().beeper)
        beeper->beep();
}

}  // namespace kt
