#include "port_test_util.h"

#include "ports/null_modem.h"
#include "ports/port_ticks.h"
#include "ports/pumped_wait.h"

#include <gtest/gtest.h>

TEST(PumpedWait, EndsByTimeWithoutStopCondition)
{
    const EventTimer timer = NewTimer(2);
    EXPECT_FALSE(PumpedWait(2));
    EXPECT_TRUE(TimerExpired(timer));
}

TEST(PumpedWait, StopsWhenDataArrives)
{
    NullModemPair cable;
    TApdWinsockPort sender, receiver;
    sender.SetDevicePath(cable.PathA());
    receiver.SetDevicePath(cable.PathB());
    sender.SetOpen(true);
    receiver.SetOpen(true);
    QMetaObject::invokeMethod(&sender, [&] { sender.PutString("x"); }, Qt::QueuedConnection);
    // The wait is long; it returns true only by seeing the byte.
    EXPECT_TRUE(PumpedWait(Secs2Ticks(60), [&] { return receiver.CharReady(); }));
    EXPECT_EQ(receiver.GetChar(), 'x');
}

TEST(PumpedWait, KeepsTimersRunning)
{
    bool fired = false;
    QTimer::singleShot(10, [&] { fired = true; });
    EXPECT_TRUE(PumpedWait(Secs2Ticks(60), [&] { return fired; }));
}
