#include "UiTestControl.h"

#include <QDir>
#include <QFileInfo>

namespace kt::testing {

UiTestControl::UiTestControl(QObject* parent)
    : QObject(parent),
      state_(AppState::create(ports_.ports())),
      bridge_(std::make_unique<AppStateBridge>(state_)),
      consent_(std::make_unique<TermsConsent>(*settings_)) {}

QString UiTestControl::screenshotDir() const {
    const QString dir = qEnvironmentVariable("KT_SCREENSHOT_DIR", QDir::tempPath());
    QDir().mkpath(dir);
    return dir;
}

bool UiTestControl::fileExists(const QString& path) const { return QFileInfo(path).isFile(); }

bool UiTestControl::storedFlag(const QString& key) const {
    return settings_->boolValue(key.toStdString(), false);
}

void UiTestControl::setStoredFlag(const QString& key, bool value) {
    settings_->setBoolValue(key.toStdString(), value);
    emit consent_->acceptedChanged();
}

void UiTestControl::resetSettings() {
    *settings_ = MemorySettings();
    emit consent_->acceptedChanged();
}

}  // namespace kt::testing
