#include "ui/UiContext.h"

#include "ui/ReturnPressesButtons.h"

// Generated with the module; referenced so that the static library keeps
// the registration of its types.
void qml_register_types_KaTesmar();

namespace kt {

void installUi(QQmlEngine& engine, AppStateBridge& appState, TermsConsent& consent) {
    [[maybe_unused]] volatile auto keepRegistration = &qml_register_types_KaTesmar;
    AppStateBridge::provided = &appState;
    TermsConsent::provided = &consent;
    engine.addImportPath(QStringLiteral("qrc:/"));
    ReturnPressesButtons::install(&engine);
}

}  // namespace kt
