// The update timer's count: a run every AutoUpdateTime ticks, and never a count that passes its
// interval for ever.

#include "engine/update_timer.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

// The ticks (1-based) at which a run is due, over `ticks` ticks; the caller's reset after a run
// included.
std::vector<int> dueTicks(int &count, int interval, int ticks, bool running = false)
{
    std::vector<int> due;
    for (int tick = 1; tick <= ticks; ++tick) {
        if (minuteTick(count, interval, running)) {
            due.push_back(tick);
            count = 0;
        }
    }
    return due;
}

} // namespace

TEST(UpdateTimer, RunsEveryIntervalTicks)
{
    int count = 0;
    EXPECT_EQ(dueTicks(count, 5, 12), std::vector<int>({5, 10}));
    EXPECT_EQ(count, 2);
    count = 0;
    EXPECT_EQ(dueTicks(count, 1, 3), std::vector<int>({1, 2, 3}));
}

TEST(UpdateTimer, ACountThatWouldNeverReachItsIntervalRestarts)
{
    int count = 40; // the interval was lowered below it
    EXPECT_EQ(dueTicks(count, 10, 20), std::vector<int>({10, 20}));
    for (int interval : {0, -5}) { // no run ever, and no count running for ever
        count = 7;
        EXPECT_TRUE(dueTicks(count, interval, 100).empty());
        EXPECT_EQ(count, 0);
    }
    count = 32767;
    EXPECT_FALSE(minuteTick(count, 40000, false));
    EXPECT_EQ(count, 1);
    count = 2; // due while another run shows a message box
    EXPECT_FALSE(minuteTick(count, 3, true));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(dueTicks(count, 3, 3), std::vector<int>({3}));
}
