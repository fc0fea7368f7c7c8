#include <QAccessible>
#include <QDir>
#include <QQmlContext>
#include <QQmlEngine>
#include <QtQuickTest>
#include <memory>

#include "TestPorts.h"
#include "app/AppState.h"
#include "platform/MemorySettings.h"
#include "ui/UiContext.h"

namespace kt::testing {

// One real AppState in virtual time behind the real screens, and the handles
// the QML tests use (as `testControl`) to change the state and read what the
// screens did.
class UiTestControl : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString screenshotDir READ screenshotDir CONSTANT)

  public:
    explicit UiTestControl(QQmlEngine& engine) : QObject(&engine) {
        ports_.processes.setHandler([this](const ProcessRequest& request) {
            if (request.program != "/usr/bin/pkexec")
                return FakeProcessRunner::exited(0);
            ++privilegedRuns_;
            return promptAccepted_ ? FakeProcessRunner::exited(0, "OK")
                                   : FakeProcessRunner::exited(1, "", "Geweigerd door polkit");
        });
        installUi(engine, bridge_, consent_);
        engine.rootContext()->setContextProperty(QStringLiteral("testControl"), this);
    }
    static QString screenshotDir() {
        const QString dir = qEnvironmentVariable("KT_SCREENSHOT_DIR", QDir::tempPath());
        QDir().mkpath(dir);
        return dir;
    }
    // What a screen reader learns of an item: "role:name", the role as
    // QAccessible numbers it ("" when the item has no accessible side).
    Q_INVOKABLE static QString accessibleRoleAndName(QObject* item) {
        QAccessibleInterface* face = item ? QAccessible::queryAccessibleInterface(item) : nullptr;
        return face ? QString::number(face->role()) + u':' + face->text(QAccessible::Name)
                    : QString();
    }
    // The stored settings.
    Q_INVOKABLE bool storedFlag(const QString& key) const {
        return settings_.boolValue(key.toStdString(), false);
    }
    Q_INVOKABLE void setStoredFlag(const QString& key, bool value) {
        settings_.setBoolValue(key.toStdString(), value);
        emit consent_.acceptedChanged();
    }
    // The session as the screens show it.
    Q_INVOKABLE void setLoggedIn(bool value) { state_->isLoggedIn = value; }
    Q_INVOKABLE void setInstalling(bool value) { state_->isInstalling = value; }
    Q_INVOKABLE void setReconnecting(bool value) { state_->isReconnecting = value; }
    Q_INVOKABLE void setSession(const QString& student, const QString& className,
                                const QString& teacher) {
        state_->studentName = student.toStdString();
        state_->className = className.toStdString();
        state_->teacherName = teacher.toStdString();
    }
    Q_INVOKABLE void setBlocked(bool blocked, int domainCount) {
        state_->blockedDomainsCount = domainCount;
        state_->isBlocked = blocked;
    }
    Q_INVOKABLE void setBlockedDomains(const QStringList& domains) {
        std::vector<std::string> list;
        for (const auto& d : domains) list.push_back(d.toStdString());
        state_->blockedDomainsCount = static_cast<int>(list.size());
        state_->blockedDomains = std::move(list);
    }
    Q_INVOKABLE void setCounters(int hosts, int firewall) {
        state_->hostsCount = hosts;
        state_->firewallCount = firewall;
    }
    Q_INVOKABLE void setStatusMessage(const QString& text) {  // "": none
        state_->statusMessage = text.isEmpty() ? std::nullopt : std::optional(text.toStdString());
    }
    Q_INVOKABLE void setErrorMessage(const QString& text) {  // "": none
        state_->errorMessage = text.isEmpty() ? std::nullopt : std::optional(text.toStdString());
    }
    Q_INVOKABLE void recordCheckNow() { state_->lastCheck = ports_.scheduler.now(); }
    Q_INVOKABLE void log(const QString& message) { state_->addDebugLog(message.toStdString()); }
    Q_INVOKABLE QString pasteboardText() const {
        return QString::fromStdString(ports_.pasteboard.text);
    }
    // Privileged runs: whether the administrator's prompt lets them through, and how many ran.
    Q_INVOKABLE void setPromptAccepted(bool accepted) { promptAccepted_ = accepted; }
    Q_INVOKABLE int privilegedRuns() const { return privilegedRuns_; }
    Q_INVOKABLE void settle() { ports_.settle(); }
    Q_INVOKABLE void advance(double seconds) { ports_.scheduler.advance(Seconds{seconds}); }
    // The class service: the test reads the last request ([url, body]) and
    // answers it itself; the main queue then runs.
    Q_INVOKABLE int requestCount() const { return static_cast<int>(ports_.http.count()); }
    Q_INVOKABLE QStringList lastRequest() const {
        const HttpRequest& sent = ports_.http.last();
        return {QString::fromStdString(sent.url), QString::fromStdString(sent.body)};
    }
    Q_INVOKABLE void respond(int status, const QString& body) {
        ports_.http.respondLast(status, body.toStdString());
        ports_.scheduler.runUntilIdle();
    }
    Q_INVOKABLE void fail(const QString& description) {
        ports_.http.failLast(TransportError{description.toStdString(), "QNetworkReply", 3});
        ports_.scheduler.runUntilIdle();
    }
    // Where every test starts: nothing stored (as on a computer where the app
    // never ran), logged out with the session of Jan Jansen in 4B of Mevr.
    // Peeters, no block, the prompt accepted, an empty log, no login under way
    // (a request left unanswered never completes).
    Q_INVOKABLE void reset() {
        settings_ = MemorySettings();
        emit consent_.acceptedChanged();
        AppState& s = *state_;
        for (Published<bool>* flag :
             {&s.isLoggedIn, &s.isLoading, &s.isInstalling, &s.isReconnecting, &s.isBlocked})
            *flag = false;
        setSession(QStringLiteral("Jan Jansen"), QStringLiteral("4B"),
                   QStringLiteral("Mevr. Peeters"));
        setBlockedDomains({});
        setCounters(0, 0);
        s.statusMessage = std::nullopt;
        s.errorMessage = std::nullopt;
        s.lastCheck = std::nullopt;
        promptAccepted_ = true;
        settle();
        s.debugLog = "";
    }

  private:
    TestPorts ports_;
    MemorySettings settings_;
    std::shared_ptr<AppState> state_ = AppState::create(ports_.ports());
    AppStateBridge bridge_{state_};
    TermsConsent consent_{settings_};
    bool promptAccepted_ = true;
    int privilegedRuns_ = 0;
};

}  // namespace kt::testing

// Each QML test file gets a fresh engine and with it a fresh state.
class UiTestSetup : public QObject {
    Q_OBJECT

  public slots:
    void qmlEngineAvailable(QQmlEngine* engine) { new kt::testing::UiTestControl(*engine); }
};

QUICK_TEST_MAIN_WITH_SETUP(ui_tests, UiTestSetup)

#include "ui_tests.moc"
