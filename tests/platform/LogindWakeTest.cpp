#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QTest>

#include "platform/qt/LogindWakeNotifications.h"

using kt::LogindWakeNotifications;

namespace {

// A bus of our own, as the system bus is not ours to send logind's signals
// on; its address is "" when it could not be started.
class PrivateBus {
  public:
    PrivateBus() {
        process_.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--nopidfile"), QStringLiteral("--print-address")});
        if (process_.waitForStarted(5000) && process_.waitForReadyRead(5000))
            address = QString::fromUtf8(process_.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : connections_) QDBusConnection::disconnectFromBus(name);
        process_.kill();
        process_.waitForFinished(5000);
    }
    QDBusConnection connect(const QString& name) {
        connections_ << name;
        return QDBusConnection::connectToBus(address, name);
    }
    QString address;

  private:
    QProcess process_;
    QStringList connections_;
};

QDBusMessage prepareForSleep(bool sleeping) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("PrepareForSleep"));
    signal << sleeping;
    return signal;
}

}  // namespace

TEST(LogindWake, OnlyLogindsFalseEdgeCountsAsWakingAndWithoutABusNothingFails) {
    LogindWakeNotifications nowhere(QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere")));
    EXPECT_FALSE(nowhere.isListening());
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));

    PrivateBus bus;
    if (bus.address.isEmpty())
        GTEST_SKIP() << "no private D-Bus (dbus-daemon) could be started";

    QDBusConnection logind = bus.connect(QStringLiteral("logind"));
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    QDBusConnection impostor = bus.connect(QStringLiteral("impostor"));

    LogindWakeNotifications notifications(bus.connect(QStringLiteral("application")));
    ASSERT_TRUE(notifications.isListening());
    int wakes = 0, secondObserver = 0;
    notifications.observeWake([&] { ++wakes; });
    notifications.observeWake([&] { ++secondObserver; });
    // A call answered means all sent before it has passed the bus.
    auto roundTrip = [](QDBusConnection c) { c.interface()->registeredServiceNames(); };
    const QDBusConnection application(QStringLiteral("application"));
    roundTrip(application);  // the match rule is in place

    // Someone else sending logind's signal is not logind.
    ASSERT_TRUE(impostor.send(prepareForSleep(false)));
    roundTrip(impostor);
    // Going to sleep, then waking.
    ASSERT_TRUE(logind.send(prepareForSleep(true)));
    ASSERT_TRUE(logind.send(prepareForSleep(false)));

    ASSERT_TRUE(QTest::qWaitFor([&] { return wakes >= 1; }, 10000)) << "the wake was not seen";
    roundTrip(application);
    QCoreApplication::processEvents();
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(secondObserver, 1);
}
