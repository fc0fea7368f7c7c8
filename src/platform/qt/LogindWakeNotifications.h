#pragma once

#include <QDBusConnection>
#include <QObject>
#include <functional>
#include <vector>

#include "platform/WakeNotifications.h"

namespace kt {

// Wake from sleep as logind announces it on the system bus: the signal
// PrepareForSleep(true) before sleeping and PrepareForSleep(false) after
// waking. Only the second counts.
class LogindWakeNotifications final : public QObject, public WakeNotifications {
    Q_OBJECT

  public:
    // Listens on `bus`: the system bus in the application, a private bus in tests.
    explicit LogindWakeNotifications(QDBusConnection bus = QDBusConnection::systemBus());

    void observeWake(std::function<void()> onWake) override;

    // False when there is no bus to listen on (a container without D-Bus):
    // then wake is never reported.
    bool isListening() const { return listening_; }

  private slots:
    void prepareForSleep(bool sleeping);

  private:
    QDBusConnection bus_;
    bool listening_ = false;
    std::vector<std::function<void()>> observers_;
};

}  // namespace kt
