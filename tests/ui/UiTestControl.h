#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <stdexcept>

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

    // The session as the status screen shows it.
    Q_INVOKABLE void setSession(const QString& student, const QString& className,
                                const QString& teacher);
    Q_INVOKABLE void setBlocked(bool blocked, int domainCount);
    Q_INVOKABLE void setBlockedDomains(const QStringList& domains);
    Q_INVOKABLE void setCounters(int hosts, int firewall);
    Q_INVOKABLE void setStatusMessage(const QString& message);  // empty: none
    Q_INVOKABLE void setErrorMessage(const QString& message);   // empty: none
    Q_INVOKABLE void recordCheckNow() { state_->lastCheck = ports_.scheduler.now(); }
    Q_INVOKABLE void setReconnecting(bool value) { state_->isReconnecting = value; }
    Q_INVOKABLE void log(const QString& message) { state_->addDebugLog(message.toStdString()); }
    Q_INVOKABLE void clearLog() {
        settle();
        state_->debugLog = "";
    }
    Q_INVOKABLE QString pasteboardText() const {
        return QString::fromStdString(ports_.pasteboard.text);
    }
    // Whether the administrator's password prompt lets privileged runs through.
    Q_INVOKABLE void setPromptAccepted(bool accepted);
    // Runs the main queue and the worker threads until both are idle.
    Q_INVOKABLE void settle();
    Q_INVOKABLE int privilegedRuns() const { return privilegedRuns_; }

    // The class service as the login screen meets it: the test reads what was
    // sent and answers each request itself; the main queue then runs.
    Q_INVOKABLE int requestCount() const { return static_cast<int>(ports_.http.count()); }
    Q_INVOKABLE QString requestUrl(int index) const {
        return QString::fromStdString(ports_.http.request(static_cast<std::size_t>(index)).url);
    }
    Q_INVOKABLE QString requestBody(int index) const {
        return QString::fromStdString(ports_.http.request(static_cast<std::size_t>(index)).body);
    }
    Q_INVOKABLE void respond(int index, int status, const QString& body) {
        ports_.http.respond(static_cast<std::size_t>(index), status, body.toStdString());
        ports_.scheduler.runUntilIdle();
    }
    Q_INVOKABLE void failRequest(int index, const QString& description) {
        ports_.http.fail(static_cast<std::size_t>(index),
                         TransportError{description.toStdString(), "QNetworkReply", 3});
        ports_.scheduler.runUntilIdle();
    }
    // Fails every request still waiting, so that no login outlives its test.
    Q_INVOKABLE void failPendingRequests() {
        for (std::size_t i = 0; i < ports_.http.count(); ++i) {
            try {
                ports_.http.fail(i, TransportError{"cancelled", "QNetworkReply", 5});
            } catch (const std::logic_error&) {
                // answered already
            }
        }
        ports_.scheduler.runUntilIdle();
    }

    // What a screen reader learns of an item: "role:name", the role as
    // QAccessible numbers it ("" when the item has no accessible side).
    Q_INVOKABLE QString accessibleRoleAndName(QObject* item) const;

  private:
    TestPorts ports_;
    std::unique_ptr<MemorySettings> settings_ = std::make_unique<MemorySettings>();
    std::shared_ptr<AppState> state_;
    std::unique_ptr<AppStateBridge> bridge_;
    std::unique_ptr<TermsConsent> consent_;
    bool promptAccepted_ = true;
    int privilegedRuns_ = 0;
};

}  // namespace kt::testing
