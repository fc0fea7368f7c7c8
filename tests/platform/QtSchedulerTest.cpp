#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <thread>
#include <vector>

#include "platform/qt/QtScheduler.h"

// Tasks posted from any thread run later on the main thread, in order; a
// cancelled repeating task runs no more.
TEST(QtScheduler, TasksFromAnyThreadRunOnTheMainThreadInOrderUntilCancelled) {
    kt::QtScheduler scheduler;
    std::vector<std::string> ran;
    int ticks = 0;
    auto note = [&](std::string what) {
        ran.push_back(what + (QThread::currentThread() == qApp->thread() ? "" : " off main"));
    };
    const auto id = scheduler.startRepeating(kt::Seconds{0.01}, [&] { ++ticks; });
    scheduler.post([&] { note("first"); });
    std::thread([&] {
        scheduler.post([&] { note("second"); });
        scheduler.postAfter(kt::Seconds{0.03}, [&] { note("delayed"); });
    }).join();
    EXPECT_TRUE(ran.empty()) << "post never runs the task inside the call";
    ASSERT_TRUE(QTest::qWaitFor([&] { return ran.size() == 3 && ticks >= 3; }, 5000));
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "second", "delayed"}));
    scheduler.cancelRepeating(id);
    const int ticksAtCancel = ticks;
    QTest::qWait(50);
    EXPECT_EQ(ticks, ticksAtCancel);
}
