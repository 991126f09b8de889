#include "port_test_util.h"

#include "ports/port_ticks.h"

#include <gtest/gtest.h>

TEST(PortTicks, SecondsConvertToTicks)
{
    const std::pair<int, int> cases[] = {{0, 0}, {1, 18}, {3, 54}, {10, 182}, {60, 1092}};
    for (const auto& [seconds, ticks] : cases)
        EXPECT_EQ(Secs2Ticks(seconds), ticks) << seconds;
    EXPECT_EQ(FractionalSecs2Ticks(0.5), 9);
    EXPECT_EQ(FractionalSecs2Ticks(0.0), 0);
    EXPECT_EQ(Ticks2Ms(9), 494);
}

TEST(PortTicks, EventTimerExpiresAfterItsLength)
{
    const EventTimer zero = NewTimer(0);
    EXPECT_TRUE(WaitFor([&] { return TimerExpired(zero); }));
    EXPECT_EQ(RemainingTime(zero), 0);

    const EventTimer tenSeconds = NewTimerSecs(10);
    EXPECT_FALSE(TimerExpired(tenSeconds));
    EXPECT_GT(RemainingTime(tenSeconds), 0);
    EXPECT_LE(RemainingTime(tenSeconds), 182);
}
