#include "app/AppDelegate.h"

#include "app/AppState.h"

namespace kt {
namespace {

// Long enough for the three beeps and the start of the spoken warning.
constexpr Seconds quitHold{2.0};

}  // namespace

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate(ReplyToTermination reply) {
    if (!appState || !appState->isLoggedIn)
        return TerminateReply::Now;
    appState->playAlertSound();
    appState->ports().scheduler->postAfter(quitHold, [reply = std::move(reply)] { reply(true); });
    return TerminateReply::Later;
}

void AppDelegate::applicationWillTerminate() {
    if (!appState)
        return;
    appState->forceRestoreNetworkSettings();
    if (appState->isLoggedIn)
        appState->deleteSessionOnServerSync();
    if (Beeper* beeper = appState->ports().beeper)
        beeper->beep();
}

}  // namespace kt
