#include "port_test_util.h"

#include "ports/null_modem.h"
#include "ports/status_lights.h"

#include <gtest/gtest.h>

namespace {

struct WatchedPort : ::testing::Test {
    WatchedPort()
    {
        port.SetDevicePath(cable.PathA());
        peer.SetDevicePath(cable.PathB());
        lights.SetComPort(&port);
    }
    NullModemPair cable;
    TApdWinsockPort port, peer;
    TApdSLController lights;
};

} // namespace

TEST_F(WatchedPort, LevelLampsFollowTheLinesFromOpenOn)
{
    peer.SetOpen(true);
    lights.SetMonitoring(true); // before open: watching starts at open
    EXPECT_FALSE(lights.DSRLight().Lit());
    port.SetOpen(true);
    EXPECT_TRUE(lights.CTSLight().Lit());
    EXPECT_TRUE(lights.DSRLight().Lit());
    EXPECT_TRUE(lights.DCDLight().Lit());

    peer.SetDTR(false);
    ASSERT_TRUE(WaitFor([&] { return !lights.DSRLight().Lit(); }));
    EXPECT_FALSE(lights.DCDLight().Lit());
    EXPECT_TRUE(lights.CTSLight().Lit());
    // The lamps read the levels without taking the program's change flags.
    EXPECT_TRUE(port.DeltaDSR());

    peer.SetRTS(false);
    EXPECT_TRUE(WaitFor([&] { return !lights.CTSLight().Lit(); }));
}

TEST_F(WatchedPort, DataLampsLightAndGoOut)
{
    port.SetOpen(true);
    peer.SetOpen(true);
    lights.SetMonitoring(true);
    PortRecorder atPort(port); // consumes what arrives
    bool rxdWasLit = false, txdWasLit = false;
    QObject::connect(&lights.RXDLight(), &TApdStatusLight::LitChanged, [&](bool on) { rxdWasLit |= on; });
    QObject::connect(&lights.TXDLight(), &TApdStatusLight::LitChanged, [&](bool on) { txdWasLit |= on; });

    peer.PutString("in");
    port.PutString("out");
    ASSERT_TRUE(WaitFor([&] { return atPort.received == "in"; }));
    EXPECT_TRUE(rxdWasLit);
    EXPECT_TRUE(txdWasLit);
    EXPECT_TRUE(WaitFor([&] { return !lights.RXDLight().Lit() && !lights.TXDLight().Lit(); }));
}

TEST_F(WatchedPort, EventLampsLightOnRingErrorAndBreak)
{
    port.SetOpen(true);
    lights.SetMonitoring(true);
    struct Case {
        bool ring;
        int conditions;
        TApdStatusLight& lamp;
    };
    const Case cases[] = {{true, 0, lights.RINGLight()},
                          {false, lsFraming, lights.ERRORLight()},
                          {false, lsBreak, lights.BREAKLight()}};
    for (const Case& c : cases) {
        cable.InjectStatus(true, c.ring, c.conditions);
        ASSERT_TRUE(WaitFor([&] { return c.lamp.Lit(); })) << c.conditions;
        EXPECT_TRUE(WaitFor([&] { return !c.lamp.Lit(); })) << c.conditions;
    }
}

TEST_F(WatchedPort, ProgramSeesModemStatusOfTheLampTrigger)
{
    peer.SetOpen(true);
    port.SetOpen(true);
    PortRecorder events(port);
    lights.SetMonitoring(true);
    // The program has no trigger of its own; the lamps' one reports a ring.
    cable.InjectStatus(true, true, 0);
    ASSERT_TRUE(WaitFor([&] { return events.modemStatusCount == 1; }));
    peer.SetDTR(false);
    ASSERT_TRUE(WaitFor([&] { return events.modemStatusCount == 2; }));

    lights.SetMonitoring(false);
    EXPECT_FALSE(lights.CTSLight().Lit());
    peer.SetDTR(true);
    ASSERT_TRUE(WaitFor([&] { return port.DSR(); }));
    cable.InjectStatus(true, true, 0);
    const quint16 marker = port.AddTimerTrigger();
    port.SetTimerTrigger(marker, 2, true);
    ASSERT_TRUE(WaitFor([&] { return !events.timerHandles.empty(); }));
    EXPECT_EQ(events.modemStatusCount, 2);
}

TEST_F(WatchedPort, ClosingSuspendsAndOpeningResumes)
{
    peer.SetOpen(true);
    port.SetOpen(true);
    lights.SetMonitoring(true);
    EXPECT_TRUE(lights.DSRLight().Lit());
    port.SetOpen(false);
    EXPECT_FALSE(lights.DSRLight().Lit());
    EXPECT_TRUE(lights.Monitoring());

    port.SetOpen(true);
    EXPECT_TRUE(lights.DSRLight().Lit());
    PortRecorder events(port);
    peer.SetDTR(false);
    ASSERT_TRUE(WaitFor([&] { return !lights.DSRLight().Lit(); }));
    // One lamp trigger per open period: one notification per change.
    const quint16 marker = port.AddTimerTrigger();
    port.SetTimerTrigger(marker, 2, true);
    ASSERT_TRUE(WaitFor([&] { return !events.timerHandles.empty(); }));
    EXPECT_EQ(events.modemStatusCount, 1);
}
