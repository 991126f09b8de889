#include "port_test_util.h"

#include "ports/null_modem.h"

#include <gtest/gtest.h>

namespace {

struct CablePorts : ::testing::Test {
    CablePorts()
    {
        a.SetDevicePath(cable.PathA());
        b.SetDevicePath(cable.PathB());
    }
    NullModemPair cable;
    TApdWinsockPort a, b;
};

} // namespace

TEST_F(CablePorts, CrossesControlLines)
{
    a.SetOpen(true);
    b.SetOpen(true);
    struct Case {
        bool dtr, rts;
    };
    for (const Case c : {Case{true, true}, Case{false, true}, Case{true, false}, Case{false, false}}) {
        b.SetDTR(c.dtr);
        b.SetRTS(c.rts);
        EXPECT_TRUE(WaitFor([&] { return a.DSR() == c.dtr && a.DCD() == c.dtr && a.CTS() == c.rts; }))
            << c.dtr << c.rts;
        EXPECT_FALSE(a.RI());
    }
}

TEST_F(CablePorts, CarriesBytesBothWays)
{
    a.SetOpen(true);
    b.SetOpen(true);
    PortRecorder atA(a), atB(b);
    const std::string allBytes = [] {
        std::string s;
        for (int i = 0; i < 256; ++i)
            s += static_cast<char>(i);
        return s;
    }();
    a.PutString(allBytes);
    b.PutString("reply");
    EXPECT_TRUE(WaitFor([&] { return atB.received.size() == 256 && atA.received == "reply"; }));
    EXPECT_EQ(atB.received, allBytes);
}

TEST_F(CablePorts, ClosedEndDrivesNoLinesAndOpenRaisesThem)
{
    a.SetOpen(true);
    EXPECT_FALSE(a.DSR());
    EXPECT_FALSE(a.CTS());
    b.SetOpen(true);
    EXPECT_TRUE(WaitFor([&] { return a.DSR() && a.CTS() && a.DCD(); }));
    b.SetOpen(false);
    EXPECT_TRUE(WaitFor([&] { return !a.DSR() && !a.CTS() && !a.DCD(); }));
}

TEST_F(CablePorts, EndOpensOnlyOnce)
{
    a.SetOpen(true);
    TApdWinsockPort second;
    second.SetDevicePath(cable.PathA());
    EXPECT_THROW(second.SetOpen(true), EPortError);
    EXPECT_FALSE(second.Open());
    a.SetOpen(false);
    EXPECT_NO_THROW(second.SetOpen(true));
}

TEST(NullModem, PathOfAGonePairDoesNotOpen)
{
    std::string path;
    {
        NullModemPair cable;
        path = cable.PathA();
    }
    TApdWinsockPort port;
    port.SetDevicePath(path);
    EXPECT_THROW(port.SetOpen(true), EPortError);
}
