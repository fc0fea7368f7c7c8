#include "ui/UiContext.h"

#include <QQmlContext>

#include "ui/ReturnPressesButtons.h"

namespace kt {

void installUiContext(QQmlEngine& engine, AppStateBridge& appState, TermsConsent& consent) {
    engine.rootContext()->setContextProperty(QStringLiteral("appState"), &appState);
    engine.rootContext()->setContextProperty(QStringLiteral("termsConsent"), &consent);
    ReturnPressesButtons::install(&engine);
}

}  // namespace kt
