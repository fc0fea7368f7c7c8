#include "platform/qt/LogindWakeNotifications.h"

#include <QDBusError>
#include <QDebug>
#include <QString>

namespace kt {

LogindWakeNotifications::LogindWakeNotifications(QDBusConnection bus) : bus_(std::move(bus)) {
    if (!bus_.isConnected()) {
        qWarning() << "Ka Tesmar: no D-Bus, wake from sleep is not noticed:"
                   << bus_.lastError().message();
        return;
    }
    listening_ = bus_.connect(QStringLiteral("org.freedesktop.login1"),
                              QStringLiteral("/org/freedesktop/login1"),
                              QStringLiteral("org.freedesktop.login1.Manager"),
                              QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
    if (!listening_)
        qWarning() << "Ka Tesmar: cannot listen for PrepareForSleep";
}

void LogindWakeNotifications::observeWake(std::function<void()> onWake) {
    observers_.push_back(std::move(onWake));
}

void LogindWakeNotifications::prepareForSleep(bool sleeping) {
    if (sleeping)
        return;
    // A copy: an observer may register another one.
    const auto observers = observers_;
    for (const auto& observer : observers) observer();
}

}  // namespace kt
