#pragma once

#include <QQmlEngine>

#include "ui/AppStateBridge.h"
#include "ui/TermsConsent.h"

namespace kt {

// The names under which the screens find the state: `appState` and
// `termsConsent`; and Return pressing the focused button, for as long as the
// engine lives.
void installUiContext(QQmlEngine& engine, AppStateBridge& appState, TermsConsent& consent);

// Where the screens live inside the resources.
inline constexpr const char* mainWindowUrl = "qrc:/qml/Main.qml";

}  // namespace kt
