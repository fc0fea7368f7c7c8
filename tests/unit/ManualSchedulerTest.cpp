#include "ManualScheduler.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using kt::Seconds;
using kt::testing::ManualScheduler;

TEST(ManualScheduler, RunsTasksInDueOrderAtTheirOwnTime) {
    ManualScheduler s;
    std::vector<std::string> ran;
    s.postAfter(Seconds{1.0}, [&] { ran.push_back("1.0@" + std::to_string(s.elapsed().count())); });
    s.post([&] { ran.push_back("now"); });
    s.postAfter(Seconds{0.3}, [&] { ran.push_back("0.3"); });
    s.postAfter(Seconds{0.3}, [&] { ran.push_back("0.3 second"); });

    EXPECT_TRUE(ran.empty()) << "nothing runs before time is advanced";
    EXPECT_EQ(s.advance(Seconds{0.5}), 3u);
    EXPECT_EQ(ran, (std::vector<std::string>{"now", "0.3", "0.3 second"}));
    s.advance(Seconds{0.5});
    ASSERT_EQ(ran.size(), 4u);
    EXPECT_EQ(ran[3], "1.0@1.000000");
}

TEST(ManualScheduler, RepeatingTimerFiresEveryIntervalUntilCancelled) {
    ManualScheduler s;
    std::vector<double> times;
    const auto id = s.startRepeating(Seconds{5.0}, [&] { times.push_back(s.elapsed().count()); });
    s.advance(Seconds{4.9});
    EXPECT_TRUE(times.empty());
    s.advance(Seconds{10.1});
    EXPECT_EQ(times, (std::vector<double>{5.0, 10.0, 15.0}));
    EXPECT_EQ(s.activeRepeatingCount(), 1u);

    s.cancelRepeating(id);
    s.advance(Seconds{30});
    EXPECT_EQ(times.size(), 3u);
    EXPECT_EQ(s.activeRepeatingCount(), 0u);
    EXPECT_EQ(s.pendingTaskCount(), 0u);
}

TEST(ManualScheduler, WallClockJumpsWithoutRunningTimers) {
    ManualScheduler s;
    int fired = 0;
    s.postAfter(Seconds{3}, [&] { ++fired; });
    const auto before = s.now();
    s.jumpWallClock(Seconds{3600});
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(s.now() - before).count(), 3600);
    s.advance(Seconds{3});
    EXPECT_EQ(fired, 1);
}

TEST(ManualScheduler, PostFromAnotherThreadRunsOnTheTestThread) {
    ManualScheduler s;
    std::thread::id ranOn;
    std::thread worker([&] { s.post([&] { ranOn = std::this_thread::get_id(); }); });
    worker.join();
    EXPECT_EQ(s.runUntilIdle(), 1u);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}
