#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <thread>
#include <vector>

#include "platform/qt/QtScheduler.h"

TEST(QtScheduler, PostedTasksRunOnTheMainThreadInOrder) {
    kt::QtScheduler scheduler;
    std::vector<int> order;
    std::vector<bool> onMain;
    scheduler.post([&] { order.push_back(1); });
    std::thread worker([&] {
        scheduler.post([&] {
            order.push_back(2);
            onMain.push_back(QThread::currentThread() == qApp->thread());
        });
    });
    worker.join();
    EXPECT_TRUE(order.empty()) << "post never runs the task inside the call";
    QCoreApplication::processEvents();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(onMain, (std::vector<bool>{true}));
}

TEST(QtScheduler, DelayedAndRepeatingTasksRunInTheEventLoop) {
    kt::QtScheduler scheduler;
    int ticks = 0;
    bool delayedRan = false;
    const auto id = scheduler.startRepeating(kt::Seconds{0.01}, [&] { ++ticks; });
    std::thread worker([&] { scheduler.postAfter(kt::Seconds{0.03}, [&] { delayedRan = true; }); });
    worker.join();
    QElapsedTimer guard;
    guard.start();
    while ((!delayedRan || ticks < 3) && guard.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(delayedRan);
    EXPECT_GE(ticks, 3);
    scheduler.cancelRepeating(id);
    const int ticksAtCancel = ticks;
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < 50) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    EXPECT_EQ(ticks, ticksAtCancel);
}
