#include "ui/TermsConsent.h"

#include "ui/CppOwned.h"

namespace kt {

TermsConsent::TermsConsent(Settings& settings, QObject* parent)
    : QObject(parent), settings_(settings) {}

TermsConsent* TermsConsent::create(QQmlEngine*, QJSEngine*) {
    return cppOwnedSingleton(provided, "TermsConsent");
}

bool TermsConsent::accepted() const {
    return settings_.boolValue(settingsKey, false);
}

void TermsConsent::setAccepted(bool accepted) {
    if (accepted == this->accepted())
        return;
    settings_.setBoolValue(settingsKey, accepted);
    emit acceptedChanged();
}

}  // namespace kt
