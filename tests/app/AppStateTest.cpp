#include <gtest/gtest.h>

#include "app/state/Published.h"

TEST(Published, EveryWriteIsAnnouncedUntilTheObserverLeaves) {
    kt::Published<int> value{3};
    int seen = 0;
    const auto id = value.observe([&] { seen = value.get() * 10 + seen % 10 + 1; });
    value = 3;
    EXPECT_EQ(seen, 31) << "an equal value is announced too";
    value = 4;
    EXPECT_EQ(seen, 42);
    value.unobserve(id);
    value = 5;
    EXPECT_EQ(seen, 42);
    EXPECT_EQ(value.get(), 5);
}
