// The service's epoll event loop, under what a busy service does to it:
// descriptors closed and their numbers reused, notifiers switched within a
// turn, timers re-armed and stopped, and wake-ups from other threads. This
// executable runs on it (ServiceTestMain.cpp), so every in-process service
// test below uses it too.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <memory>
#include <thread>

#include "QtTestSupport.h"
#include "http/EpollEventDispatcher.h"

using namespace kt::testing;

namespace {

struct SocketPair {
    int ends[2] = {-1, -1};
    SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0); }
    ~SocketPair() { closeReading(), closeWriting(); }
    void closeReading() { ends[0] >= 0 && ::close(std::exchange(ends[0], -1)); }
    void closeWriting() { ends[1] >= 0 && ::close(std::exchange(ends[1], -1)); }
    void send() { EXPECT_EQ(::write(ends[1], "x", 1), 1); }
};

TEST(EpollEventLoop, ANotifierHearsItsOwnDescriptorWhateverHappenedToTheNumberBefore) {
    qtApp();
    QObject scope;  // its timers end with the test
    ASSERT_TRUE(
        dynamic_cast<kt::service::EpollEventDispatcher*>(QAbstractEventDispatcher::instance()))
        << "this executable runs on Qt's own event loop";
    // A library closes its socket while its notifier is still registered; the
    // number goes to the next socket, whose notifier must still be heard.
    auto lost = std::make_unique<SocketPair>();
    const int number = lost->ends[0];
    QSocketNotifier stale(number, QSocketNotifier::Read);
    QCoreApplication::processEvents();  // the kernel watches it now
    lost->closeReading();
    SocketPair next;
    ASSERT_EQ(next.ends[0], number) << "the lowest free number is reused";
    int heard = 0;
    QSocketNotifier fresh(number, QSocketNotifier::Read);
    QObject::connect(&fresh, &QSocketNotifier::activated, [&] { ++heard; });
    next.send();
    EXPECT_TRUE(runEventsUntil([&] { return heard > 0; }, 5000)) << "the new socket is not heard";

    // Switched off and on again within one turn: still heard. Switched off:
    // not heard, and the loop waits rather than spins on its waiting data.
    fresh.setEnabled(false);
    fresh.setEnabled(true);
    heard = 0;
    EXPECT_TRUE(runEventsUntil([&] { return heard > 0; }, 5000)) << "lost when switched twice";
    fresh.setEnabled(false);
    heard = 0;
    bool due = false;
    QTimer::singleShot(20, &scope, [&] { due = true; });
    int turns = 0;
    while (!due && turns < 100) {
        QAbstractEventDispatcher::instance()->processEvents(QEventLoop::WaitForMoreEvents);
        ++turns;
    }
    EXPECT_EQ(heard, 0);
    EXPECT_LE(turns, 3) << "woken without cause";
}

TEST(EpollEventLoop, ANotifierDeletedByAnEarlierOneOfTheSameTurnIsNotCalled) {
    qtApp();
    SocketPair first, second;
    QSocketNotifier killer(first.ends[0], QSocketNotifier::Read);
    auto victim = std::make_unique<QSocketNotifier>(second.ends[0], QSocketNotifier::Read);
    int victimCalls = 0;
    QObject::connect(victim.get(), &QSocketNotifier::activated, [&] { ++victimCalls; });
    QObject::connect(&killer, &QSocketNotifier::activated, [&] {
        killer.setEnabled(false);
        victim.reset();
    });
    QCoreApplication::processEvents();  // both watched, so the kernel reports them in turn
    first.send();
    second.send();
    EXPECT_TRUE(runEventsUntil([&] { return !victim; }, 5000));
    EXPECT_EQ(victimCalls, 0);
}

TEST(EpollEventLoop, TimersFireInOrderOnceEachUnlessStoppedAndRepeatWithoutStarvingOthers) {
    qtApp();
    QObject scope;  // its timers end with the test
    QString fired;
    QTimer stopped;
    stopped.setSingleShot(true);
    QObject::connect(&stopped, &QTimer::timeout, [&] { fired += "stopped "; });
    stopped.start(15);
    QTimer::singleShot(30, &scope, [&] { fired += "30 "; });
    QTimer::singleShot(20, &scope, [&] { fired += "20 "; });
    QTimer::singleShot(10, &scope, [&] { fired += "10 ", stopped.stop(); });
    int turns = 0;
    QTimer everyTurn;  // an interval of 0: due on every turn, yet the others come
    QObject::connect(&everyTurn, &QTimer::timeout, [&] { ++turns; });
    everyTurn.start(0);
    EXPECT_TRUE(runEventsUntil([&] { return fired.endsWith("30 "); }, 5000)) << fired.toStdString();
    EXPECT_EQ(fired, "10 20 30 ");
    EXPECT_GT(turns, 1);
    everyTurn.stop();

    // A repeating timer comes again; stopped in its own event, it does not.
    int repeats = 0;
    QTimer repeating;
    QObject::connect(&repeating, &QTimer::timeout, [&] {
        if (++repeats == 3)
            repeating.stop();
    });
    repeating.start(1);
    EXPECT_TRUE(runEventsUntil([&] { return !repeating.isActive(); }, 5000));
    QTimer::singleShot(20, &scope, [&] { fired += "after"; });
    runEventsUntil([&] { return fired.endsWith("after"); }, 5000);
    EXPECT_EQ(repeats, 3);
}

TEST(EpollEventLoop, AnotherThreadWakesAWaitingLoop) {
    qtApp();
    QEventLoop loop;
    QTimer lost;  // ends the wait only if the wake-up is lost
    QObject::connect(&lost, &QTimer::timeout, [&] { loop.exit(1); });
    lost.start(10000);
    std::atomic<bool> waiting = false, ended = false;
    const auto blocks =
        QObject::connect(QAbstractEventDispatcher::instance(),
                         &QAbstractEventDispatcher::aboutToBlock, [&] { waiting = true; });
    std::thread poster([&] {
        while (!waiting && !ended) std::this_thread::yield();
        QMetaObject::invokeMethod(
            &loop, [&] { loop.exit(7); }, Qt::QueuedConnection);
    });
    EXPECT_EQ(loop.exec(), 7) << "the loop slept through a call from another thread";
    ended = true;
    poster.join();
    QObject::disconnect(blocks);
}

}  // namespace
