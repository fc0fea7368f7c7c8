#include "ui/AppStateBridge.h"

#include "session/DomainCheck.h"
#include "ui/CppOwned.h"

namespace kt {

template <typename T, typename Signal>
void AppStateBridge::forward(Published<T>& property, Signal signal) {
    const auto id = property.observe([this, signal] { emit(this->*signal)(); });
    unsubscribers_.push_back([&property, id] { property.unobserve(id); });
}

AppStateBridge::AppStateBridge(std::shared_ptr<AppState> state, QObject* parent)
    : QObject(parent), state_(std::move(state)) {
    AppState& s = *state_;
    forward(s.isLoggedIn, &AppStateBridge::isLoggedInChanged);
    forward(s.sessionToken, &AppStateBridge::sessionTokenChanged);
    forward(s.studentName, &AppStateBridge::studentNameChanged);
    forward(s.className, &AppStateBridge::classNameChanged);
    forward(s.teacherName, &AppStateBridge::teacherNameChanged);
    forward(s.schoolName, &AppStateBridge::schoolNameChanged);
    forward(s.isBlocked, &AppStateBridge::isBlockedChanged);
    forward(s.blockedDomainsCount, &AppStateBridge::blockedDomainsCountChanged);
    forward(s.lastCheck, &AppStateBridge::lastCheckChanged);
    forward(s.isLoading, &AppStateBridge::isLoadingChanged);
    forward(s.errorMessage, &AppStateBridge::errorMessageChanged);
    forward(s.statusMessage, &AppStateBridge::statusMessageChanged);
    forward(s.isInstalling, &AppStateBridge::isInstallingChanged);
    forward(s.detectedServices, &AppStateBridge::detectedServicesChanged);
    forward(s.hostsCount, &AppStateBridge::hostsCountChanged);
    forward(s.firewallCount, &AppStateBridge::firewallCountChanged);
    forward(s.debugLog, &AppStateBridge::debugLogChanged);
    forward(s.blockedDomains, &AppStateBridge::blockedDomainsChanged);
    forward(s.isReconnecting, &AppStateBridge::isReconnectingChanged);
}

AppStateBridge* AppStateBridge::create(QQmlEngine*, QJSEngine*) {
    return cppOwnedSingleton(provided, "AppState");
}

AppStateBridge::~AppStateBridge() {
    for (auto& unsubscribe : unsubscribers_) unsubscribe();
}

QDateTime AppStateBridge::lastCheck() const {
    const auto& t = state_->lastCheck.get();
    if (!t)
        return {};
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t->time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(ms.count());
}

QString AppStateBridge::lastCheckText() const {
    const auto& t = state_->lastCheck.get();
    if (!t)
        return {};
    return QString::fromStdString(state_->ports().timeFormatter->shortTime(*t));
}

QString AppStateBridge::checkDomain(const QString& searchDomain) const {
    return QString::fromStdString(
        kt::checkDomain(searchDomain.toStdString(), state_->blockedDomains));
}

void AppStateBridge::copyDebugLog() const {
    state_->ports().pasteboard->setText(state_->debugLog);
}

QStringList AppStateBridge::list(const std::vector<std::string>& items) {
    QStringList result;
    result.reserve(static_cast<qsizetype>(items.size()));
    for (const auto& item : items) result << QString::fromStdString(item);
    return result;
}

}  // namespace kt
