#pragma once

#include <QQmlEngine>

#include "ui/AppStateBridge.h"
#include "ui/TermsConsent.h"

namespace kt {

// Makes the screens' module KaTesmar importable by `engine` and provides the
// objects behind its singletons `AppState` and `TermsConsent` (call before
// any screen loads); and Return pressing the focused button, for as long as
// the engine lives.
void installUi(QQmlEngine& engine, AppStateBridge& appState, TermsConsent& consent);

// Where the window lives inside the resources.
inline constexpr const char* mainWindowUrl = "qrc:/KaTesmar/Main.qml";

}  // namespace kt
