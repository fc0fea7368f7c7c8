#include <gtest/gtest.h>

#include "TestPorts.h"
#include "app/AppState.h"
#include "app/DebugLogMirror.h"

using kt::AppState;

TEST(DebugLogMirror, HandsOnEveryNewLineOnceAlsoWhenTheLogIsCut) {
    kt::testing::TestPorts fakes;
    auto state = AppState::create(fakes.ports());
    std::vector<std::string> mirrored;
    kt::mirrorDebugLog(*state, [&](const std::string& line) { mirrored.push_back(line); });

    fakes.scheduler.runUntilIdle();  // the wake observer's line from the construction
    for (int i = 1; i <= 120; ++i) state->addDebugLog("regel " + std::to_string(i));
    fakes.scheduler.runUntilIdle();

    ASSERT_EQ(mirrored.size(), 121u) << "the log is cut at 100 lines, the mirror is not";
    EXPECT_EQ(mirrored.front(), "[09:05:01] Wake observer geactiveerd");
    EXPECT_EQ(mirrored[100], "[09:05:01] regel 100");
    EXPECT_EQ(mirrored.back(), "[09:05:01] regel 120");
}
