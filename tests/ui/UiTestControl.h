#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "TestPorts.h"
#include "app/AppState.h"
#include "platform/MemorySettings.h"
#include "ui/AppStateBridge.h"
#include "ui/TermsConsent.h"

namespace kt::testing {

// One real AppState in virtual time behind the real screens, and the handles
// the QML tests use to change the state and read what the screens stored.
class UiTestControl : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString screenshotDir READ screenshotDir CONSTANT)

public:
    explicit UiTestControl(QObject* parent = nullptr);

    AppStateBridge& bridge() { return *bridge_; }
    TermsConsent& consent() { return *consent_; }
    QString screenshotDir() const;

    Q_INVOKABLE void setLoggedIn(bool value) { state_->isLoggedIn = value; }
    Q_INVOKABLE void setInstalling(bool value) { state_->isInstalling = value; }
    Q_INVOKABLE bool storedFlag(const QString& key) const;
    Q_INVOKABLE void setStoredFlag(const QString& key, bool value);
    // Forgets every stored setting, as on a computer where the app never ran.
    Q_INVOKABLE void resetSettings();
    Q_INVOKABLE bool fileExists(const QString& path) const;
    Q_INVOKABLE void advance(double seconds) { ports_.scheduler.advance(Seconds{seconds}); }

private:
    TestPorts ports_;
    std::unique_ptr<MemorySettings> settings_ = std::make_unique<MemorySettings>();
    std::shared_ptr<AppState> state_;
    std::unique_ptr<AppStateBridge> bridge_;
    std::unique_ptr<TermsConsent> consent_;
};

}  // namespace kt::testing
