#include "UiTestControl.h"

#include <QAccessible>
#include <QDir>
#include <QFileInfo>

namespace kt::testing {

UiTestControl::UiTestControl(QObject* parent)
    : QObject(parent),
      state_(AppState::create(ports_.ports())),
      bridge_(std::make_unique<AppStateBridge>(state_)),
      consent_(std::make_unique<TermsConsent>(*settings_)) {
    ports_.processes.setHandler([this](const ProcessRequest& request) {
        if (request.program != "/usr/bin/pkexec")
            return FakeProcessRunner::exited(0);
        ++privilegedRuns_;
        return promptAccepted_ ? FakeProcessRunner::exited(0, "OK")
                               : FakeProcessRunner::exited(1, "", "Geweigerd door polkit");
    });
}

void UiTestControl::setSession(const QString& student, const QString& className,
                               const QString& teacher) {
    state_->studentName = student.toStdString();
    state_->className = className.toStdString();
    state_->teacherName = teacher.toStdString();
}

void UiTestControl::setBlocked(bool blocked, int domainCount) {
    state_->blockedDomainsCount = domainCount;
    state_->isBlocked = blocked;
}

void UiTestControl::setBlockedDomains(const QStringList& domains) {
    std::vector<std::string> list;
    for (const auto& d : domains) list.push_back(d.toStdString());
    state_->blockedDomainsCount = static_cast<int>(list.size());
    state_->blockedDomains = std::move(list);
}

void UiTestControl::setCounters(int hosts, int firewall) {
    state_->hostsCount = hosts;
    state_->firewallCount = firewall;
}

void UiTestControl::setStatusMessage(const QString& message) {
    state_->statusMessage = message.isEmpty() ? std::nullopt : std::optional(message.toStdString());
}

void UiTestControl::setErrorMessage(const QString& message) {
    state_->errorMessage = message.isEmpty() ? std::nullopt : std::optional(message.toStdString());
}

void UiTestControl::setPromptAccepted(bool accepted) {
    promptAccepted_ = accepted;
}

void UiTestControl::settle() {
    for (int round = 0; round < 100; ++round)
        if (ports_.scheduler.runUntilIdle() + ports_.workers.runAll() == 0)
            return;
}

QString UiTestControl::screenshotDir() const {
    const QString dir = qEnvironmentVariable("KT_SCREENSHOT_DIR", QDir::tempPath());
    QDir().mkpath(dir);
    return dir;
}

bool UiTestControl::fileExists(const QString& path) const {
    return QFileInfo(path).isFile();
}

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

QString UiTestControl::accessibleRoleAndName(QObject* item) const {
    QAccessibleInterface* face = item ? QAccessible::queryAccessibleInterface(item) : nullptr;
    if (!face)
        return {};
    return QString::number(face->role()) + QLatin1Char(':') + face->text(QAccessible::Name);
}

}  // namespace kt::testing
