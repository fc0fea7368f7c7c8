#pragma once

#include <QQmlApplicationEngine>
#include <QString>

#include "ui/AppStateBridge.h"
#include "ui/TermsConsent.h"

namespace kt {

// Loads every screen of the window in turn (terms, login, status, the
// installing overlay), checks the window's fixed 400 x 650 size and returns
// the process exit code. Writes a PNG of each state into `screenshotDir`
// when it is not empty.
int runSelfTest(QQmlApplicationEngine& engine, AppStateBridge& appState, TermsConsent& consent,
                const QString& screenshotDir);

}  // namespace kt
