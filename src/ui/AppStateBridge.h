#pragma once

#include <QDateTime>
#include <QObject>
#include <QQmlEngine>
#include <QString>
#include <QStringList>
#include <memory>

#include "app/AppState.h"

namespace kt {

// Exposes the published properties of AppState to QML as the singleton
// `AppState`, each with a change signal, and the four operations the screens
// may call.
class AppStateBridge : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(AppState)
    QML_SINGLETON
    Q_PROPERTY(bool isLoggedIn READ isLoggedIn NOTIFY isLoggedInChanged)
    Q_PROPERTY(QString sessionToken READ sessionToken NOTIFY sessionTokenChanged)
    Q_PROPERTY(QString studentName READ studentName NOTIFY studentNameChanged)
    Q_PROPERTY(QString className READ className NOTIFY classNameChanged)
    Q_PROPERTY(QString teacherName READ teacherName NOTIFY teacherNameChanged)
    Q_PROPERTY(QString schoolName READ schoolName NOTIFY schoolNameChanged)
    Q_PROPERTY(bool isBlocked READ isBlocked NOTIFY isBlockedChanged)
    Q_PROPERTY(int blockedDomainsCount READ blockedDomainsCount NOTIFY blockedDomainsCountChanged)
    Q_PROPERTY(QDateTime lastCheck READ lastCheck NOTIFY lastCheckChanged)
    // lastCheck in hours and minutes of the user's locale; empty before the first check.
    Q_PROPERTY(QString lastCheckText READ lastCheckText NOTIFY lastCheckChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(QString errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusMessageChanged)
    Q_PROPERTY(bool isInstalling READ isInstalling NOTIFY isInstallingChanged)
    Q_PROPERTY(QStringList detectedServices READ detectedServices NOTIFY detectedServicesChanged)
    Q_PROPERTY(int hostsCount READ hostsCount NOTIFY hostsCountChanged)
    Q_PROPERTY(int firewallCount READ firewallCount NOTIFY firewallCountChanged)
    Q_PROPERTY(QString debugLog READ debugLog NOTIFY debugLogChanged)
    Q_PROPERTY(QStringList blockedDomains READ blockedDomains NOTIFY blockedDomainsChanged)
    Q_PROPERTY(bool isReconnecting READ isReconnecting NOTIFY isReconnectingChanged)

  public:
    explicit AppStateBridge(std::shared_ptr<AppState> state, QObject* parent = nullptr);
    ~AppStateBridge() override;

    AppState& state() { return *state_; }

    // The bridge installUi provided, for the engine that creates the singleton.
    static inline AppStateBridge* provided = nullptr;
    static AppStateBridge* create(QQmlEngine*, QJSEngine*);

    bool isLoggedIn() const { return state_->isLoggedIn; }
    QString sessionToken() const { return optionalText(state_->sessionToken); }
    QString studentName() const { return text(state_->studentName); }
    QString className() const { return text(state_->className); }
    QString teacherName() const { return text(state_->teacherName); }
    QString schoolName() const { return text(state_->schoolName); }
    bool isBlocked() const { return state_->isBlocked; }
    int blockedDomainsCount() const { return state_->blockedDomainsCount; }
    QDateTime lastCheck() const;
    bool isLoading() const { return state_->isLoading; }
    QString errorMessage() const { return optionalText(state_->errorMessage); }
    QString statusMessage() const { return optionalText(state_->statusMessage); }
    bool isInstalling() const { return state_->isInstalling; }
    QStringList detectedServices() const { return list(state_->detectedServices); }
    int hostsCount() const { return state_->hostsCount; }
    int firewallCount() const { return state_->firewallCount; }
    QString debugLog() const { return text(state_->debugLog); }
    QStringList blockedDomains() const { return list(state_->blockedDomains); }
    bool isReconnecting() const { return state_->isReconnecting; }
    QString lastCheckText() const;

    // The operations the screens may call.
    Q_INVOKABLE void logout() { state_->logout(); }
    Q_INVOKABLE void manualReconnect() { state_->manualReconnect(); }

    // The login screen: joins a class with the texts as typed, and clears an
    // error left from earlier when it appears.
    Q_INVOKABLE void loginWithClassCode(const QString& studentName, const QString& classCode) {
        state_->loginWithClassCode(studentName.toStdString(), classCode.toStdString());
    }
    Q_INVOKABLE void clearErrorMessage() { state_->errorMessage = std::nullopt; }

    // The debug panel's verdict for a typed domain against blockedDomains.
    Q_INVOKABLE QString checkDomain(const QString& searchDomain) const;
    // Puts the whole debug log on the clipboard.
    Q_INVOKABLE void copyDebugLog() const;

  signals:
    void isLoggedInChanged();
    void sessionTokenChanged();
    void studentNameChanged();
    void classNameChanged();
    void teacherNameChanged();
    void schoolNameChanged();
    void isBlockedChanged();
    void blockedDomainsCountChanged();
    void lastCheckChanged();
    void isLoadingChanged();
    void errorMessageChanged();
    void statusMessageChanged();
    void isInstallingChanged();
    void detectedServicesChanged();
    void hostsCountChanged();
    void firewallCountChanged();
    void debugLogChanged();
    void blockedDomainsChanged();
    void isReconnectingChanged();

  private:
    static QString text(const std::string& s) { return QString::fromStdString(s); }
    static QString optionalText(const std::optional<std::string>& s) {
        return s ? QString::fromStdString(*s) : QString();
    }
    static QStringList list(const std::vector<std::string>& items);

    template <typename T, typename Signal>
    void forward(Published<T>& property, Signal signal);

    std::shared_ptr<AppState> state_;
    std::vector<std::function<void()>> unsubscribers_;
};

}  // namespace kt
