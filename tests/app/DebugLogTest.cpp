#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "SessionFixture.h"
#include "app/state/DebugLogMirror.h"

using kt::Seconds;
using DebugLogTest = kt::testing::SessionFixture;

// The log is newest first and holds at most 100 pieces (lines of the newest
// entry count each); the mirror hands on every entry once, cut or not.
TEST_F(DebugLogTest, NewestFirstCutAtHundredPiecesFromAnyThreadAndMirroredWhole) {
    std::vector<std::string> mirrored;
    kt::mirrorDebugLog(*state, [&](const std::string& line) { mirrored.push_back(line); });
    std::thread([&] { state->addDebugLog("line 1"); }).join();
    EXPECT_EQ(state->debugLog.get(), "") << "added on the main queue";
    fakes.scheduler.advance(Seconds{7});
    for (int i = 2; i <= 99; ++i) state->addDebugLog("line " + std::to_string(i));
    fakes.scheduler.runUntilIdle();
    const auto pieces = [&] { return std::ranges::count(state->debugLog.get(), '\n'); };
    EXPECT_EQ(pieces(), 99) << "nothing is cut at 99 lines";
    EXPECT_TRUE(state->debugLog.get().ends_with("[09:05:01] line 1\n")) << "the time of the call";
    state->addDebugLog("line 100");
    state->addDebugLog("first\nsecond\nthird");  // pushes out three pieces
    fakes.scheduler.runUntilIdle();
    EXPECT_EQ(pieces(), 99);
    EXPECT_EQ(
        state->debugLog.get().rfind("[09:05:08] first\nsecond\nthird\n[09:05:08] line 100\n", 0),
        0u);
    EXPECT_TRUE(state->debugLog.get().ends_with("\n[09:05:08] line 4"));
    ASSERT_EQ(mirrored.size(), 101u);
    EXPECT_EQ(mirrored.front(), "[09:05:01] line 1");
    EXPECT_EQ(mirrored.back(), "[09:05:08] first") << "an entry of several lines by its first";
}
