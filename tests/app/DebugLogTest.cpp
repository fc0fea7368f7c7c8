#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "SessionFixture.h"
#include "app/state/DebugLogMirror.h"

using kt::Seconds;

using DebugLogTest = kt::testing::SessionFixture;

static int pieces(const std::string& text) {
    return 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(DebugLogTest, NewestFirstAndCutAtHundredPieces) {
    for (int i = 1; i <= 99; ++i) state->addDebugLog("line " + std::to_string(i));
    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(pieces(state->debugLog), 100);
    EXPECT_EQ(state->debugLog.get().back(), '\n') << "nothing is cut at 100 pieces";
    EXPECT_EQ(state->debugLog.get().rfind("[09:05:01] line 99\n", 0), 0u);

    int writes = 0;
    state->debugLog.observe([&] { ++writes; });
    state->addDebugLog("line 100");
    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(writes, 2) << "observers see the write and the cut";
    EXPECT_EQ(pieces(state->debugLog), 100);
    EXPECT_NE(state->debugLog.get().back(), '\n');
    EXPECT_EQ(state->debugLog.get().rfind("[09:05:01] line 100\n", 0), 0u);
    EXPECT_TRUE(state->debugLog.get().ends_with("[09:05:01] line 1"));

    state->addDebugLog("line 101");
    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(pieces(state->debugLog), 100);
    EXPECT_TRUE(state->debugLog.get().ends_with("[09:05:01] line 2"));

    state->addDebugLog("first\nsecond\nthird");  // pushes out three pieces
    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(pieces(state->debugLog), 100);
    EXPECT_EQ(state->debugLog.get().rfind("[09:05:01] first\nsecond\nthird\n", 0), 0u);
    EXPECT_TRUE(state->debugLog.get().ends_with("line 5"));
}

TEST_F(DebugLogTest, ALineIsAddedOnTheMainQueueWithTheTimeOfTheCallFromAnyThread) {
    std::thread worker([&] { state->addDebugLog("from worker"); });
    worker.join();
    EXPECT_EQ(state->debugLog.get(), "");
    fakes.scheduler.advance(Seconds{7});
    state->addDebugLog("later");
    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(state->debugLog.get(), "[09:05:08] later\n[09:05:01] from worker\n");
}

TEST_F(DebugLogTest, TheMirrorHandsOnEveryNewLineOnceAlsoWhenTheLogIsCut) {
    std::vector<std::string> mirrored;
    kt::mirrorDebugLog(*state, [&](const std::string& line) { mirrored.push_back(line); });
    for (int i = 1; i <= 120; ++i) state->addDebugLog("regel " + std::to_string(i));
    fakes.scheduler.runUntilIdle();
    ASSERT_EQ(mirrored.size(), 120u) << "the log is cut at 100 lines, the mirror is not";
    EXPECT_EQ(mirrored.front(), "[09:05:01] regel 1");
    EXPECT_EQ(mirrored.back(), "[09:05:01] regel 120");
}
