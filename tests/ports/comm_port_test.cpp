#include "port_test_util.h"

#include "ports/null_modem.h"
#include "ports/port_ticks.h"

#include <gtest/gtest.h>

namespace {

// Reads a fixed number of the waiting bytes on every arrival.
class ReadingListener : public PortListener {
public:
    ReadingListener(TApdWinsockPort& port, int perCall) : port_(port), perCall_(perCall) {}
    void PortAvail(int count) override
    {
        counts.push_back(count);
        const int n = perCall_ < 0 ? count : std::min(perCall_, count);
        seen += port_.GetBlock(n);
    }
    std::vector<int> counts;
    std::string seen;

private:
    TApdWinsockPort& port_;
    int perCall_;
};

struct OpenCable : ::testing::Test {
    OpenCable()
    {
        port.SetDevicePath(cable.PathA());
        peer.SetDevicePath(cable.PathB());
        // The peer first, so that the port starts with settled lines.
        peer.SetOpen(true);
        port.SetOpen(true);
    }
    NullModemPair cable;
    TApdWinsockPort port, peer;
};

} // namespace

TEST_F(OpenCable, EveryListenerSeesEveryByte)
{
    ReadingListener matcher(port, -1);
    ReadingListener lights(port, 2);
    port.AddListener(&lights, ListenerRank::StatusLights);
    port.AddListener(&matcher, ListenerRank::PacketMatcher);
    std::string handlerSaw;
    std::string matcherSawBeforeHandler;
    QObject::connect(&port, &TApdWinsockPort::OnTriggerAvail, [&](int count) {
        // The handler runs last and still starts at the first byte.
        matcherSawBeforeHandler = matcher.seen;
        handlerSaw += port.GetBlock(count);
    });

    peer.PutString("HELLO");
    ASSERT_TRUE(WaitFor([&] { return handlerSaw.size() >= 5; }));
    EXPECT_EQ(matcher.seen, "HELLO");
    EXPECT_EQ(matcherSawBeforeHandler, "HELLO");
    EXPECT_EQ(handlerSaw, "HELLO");
    EXPECT_EQ(lights.seen.substr(0, 2), "HE");
    EXPECT_EQ(matcher.counts.front(), lights.counts.front());
    // Everything was read by someone, so nothing is left waiting.
    EXPECT_FALSE(port.CharReady());
    port.RemoveListener(&matcher);
    port.RemoveListener(&lights);
}

TEST_F(OpenCable, BytesNobodyReadStayForTheNextReader)
{
    ReadingListener partial(port, 1);
    port.AddListener(&partial, ListenerRank::PacketMatcher);
    peer.PutString("ABC");
    ASSERT_TRUE(WaitFor([&] { return !partial.counts.empty(); }));
    port.RemoveListener(&partial);
    ASSERT_TRUE(WaitFor([&] { return port.InBuffUsed() + partial.seen.size() == 3; }));
    // Outside a notification reads consume.
    std::string rest;
    while (port.CharReady())
        rest += port.GetChar();
    EXPECT_EQ(partial.seen + rest, "ABC");
    EXPECT_THROW(port.GetChar(), EBufferIsEmpty);
}

TEST_F(OpenCable, ModemStatusTriggerFiresOnceUntilRearmed)
{
    PortRecorder events(port);
    const quint16 handle = port.AddStatusTrigger(stModem);
    ASSERT_NE(handle, 0);
    port.SetStatusTrigger(handle, msDSRDelta, true);

    peer.SetDTR(false);
    ASSERT_TRUE(WaitFor([&] { return events.modemStatusCount == 1; }));
    EXPECT_EQ(events.statusHandles, std::vector<quint16>{handle});
    EXPECT_TRUE(port.DeltaDSR());
    EXPECT_FALSE(port.DeltaDSR());

    // Not re-armed: later changes are seen in the levels only.
    peer.SetDTR(true);
    ASSERT_TRUE(WaitFor([&] { return port.DSR(); }));
    peer.SetDTR(false);
    ASSERT_TRUE(WaitFor([&] { return !port.DSR(); }));
    EXPECT_EQ(events.modemStatusCount, 1);

    port.SetStatusTrigger(handle, msDSRDelta, true);
    peer.SetDTR(true);
    EXPECT_TRUE(WaitFor([&] { return events.modemStatusCount == 2; }));
}

TEST_F(OpenCable, ModemStatusTriggerIgnoresLinesOutsideItsMask)
{
    PortRecorder events(port);
    const quint16 ctsOnly = port.AddStatusTrigger(stModem);
    port.SetStatusTrigger(ctsOnly, msCTSDelta, true);
    peer.SetDTR(false);
    ASSERT_TRUE(WaitFor([&] { return !port.DSR(); }));
    peer.SetRTS(false);
    ASSERT_TRUE(WaitFor([&] { return events.modemStatusCount == 1; }));
    EXPECT_EQ(events.statusHandles, std::vector<quint16>{ctsOnly});
}

TEST(CommPort, DtrLoweredWhileClosedStaysLowAtOpen)
{
    NullModemPair cable;
    TApdWinsockPort port, peer;
    port.SetDevicePath(cable.PathA());
    peer.SetDevicePath(cable.PathB());
    peer.SetOpen(true);

    port.SetDTR(false);
    port.SetOpen(true);
    EXPECT_FALSE(port.DTR());
    EXPECT_TRUE(port.RTS());
    ASSERT_TRUE(WaitFor([&] { return peer.CTS(); }));
    EXPECT_FALSE(peer.DSR());

    // Lowered while open, it is raised again by the next open.
    port.SetOpen(false);
    port.SetRTS(false);
    port.SetOpen(true);
    EXPECT_TRUE(port.DTR());
    EXPECT_FALSE(port.RTS());
    EXPECT_TRUE(WaitFor([&] { return peer.DSR() && !peer.CTS(); }));
}

TEST(CommPort, ClosedPortRefusesInputAndOutput)
{
    TApdWinsockPort port;
    EXPECT_THROW(port.PutChar('x'), EPortError);
    EXPECT_THROW(port.GetChar(), EPortError);
    EXPECT_THROW(port.CharReady(), EPortError);
    EXPECT_THROW(port.OutBuffFree(), EPortError);
    EXPECT_THROW(port.AddTimerTrigger(), EPortError);
    EXPECT_NO_THROW(port.RemoveTrigger(1));
}

TEST(CommPort, OpenWithoutDeviceRaisesWithMessage)
{
    TApdWinsockPort port;
    port.SetDevicePath("/nonexistent/ttyS99");
    try {
        port.SetOpen(true);
        FAIL() << "opened a missing device";
    } catch (const EPortError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/ttyS99"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(port.Open());
}

TEST(CommPort, LineSettingsChangeOnlyWhileClosed)
{
    NullModemPair cable;
    TApdWinsockPort port;
    port.SetDevicePath(cable.PathA());
    port.SetOpen(true);
    EXPECT_THROW(port.SetBaud(9600), EPortError);
    EXPECT_EQ(port.Baud(), 19200);
}

TEST(CommPort, PutLargerThanFreeSpaceWritesNothing)
{
    NullModemPair cable;
    TApdWinsockPort port, peer;
    port.SetDevicePath(cable.PathA());
    peer.SetDevicePath(cable.PathB());
    port.SetOutSize(16);
    port.SetHWFlowOptions(hwfRequireCTS);
    peer.SetRTS(false); // holds the port's transmission
    peer.SetOpen(true);
    port.SetOpen(true);
    PortRecorder atPeer(peer);

    port.PutString("0123456789");
    EXPECT_EQ(port.OutBuffFree(), 6);
    EXPECT_THROW(port.PutString("abcdefg"), EPortError);
    EXPECT_EQ(port.OutBuffFree(), 6);
    port.PutString("abcdef");
    EXPECT_EQ(port.OutBuffFree(), 0);

    peer.SetRTS(true);
    ASSERT_TRUE(WaitFor([&] { return atPeer.received.size() == 16; }));
    EXPECT_EQ(atPeer.received, "0123456789abcdef");
    EXPECT_EQ(port.OutBuffFree(), 16);
}

TEST(CommPort, HardwareFlowControlThrottlesTheSender)
{
    NullModemPair cable;
    TApdWinsockPort sender, receiver;
    sender.SetDevicePath(cable.PathA());
    receiver.SetDevicePath(cable.PathB());
    sender.SetHWFlowOptions(hwfRequireCTS);
    receiver.SetHWFlowOptions(hwfUseRTS);
    receiver.SetInSize(64);
    receiver.SetBufferFull(32);
    receiver.SetBufferResume(8);
    receiver.SetOpen(true);
    sender.SetOpen(true);
    ASSERT_TRUE(WaitFor([&] { return sender.CTS(); }));

    sender.PutString(std::string(40, 'x'));
    ASSERT_TRUE(WaitFor([&] { return receiver.InBuffUsed() >= 32; }));
    EXPECT_TRUE(receiver.RTS()); // the program's own level is untouched
    EXPECT_TRUE(WaitFor([&] { return !sender.CTS(); }));
    sender.PutString("tail");
    EXPECT_GT(sender.OutBuffUsed(), 0);

    receiver.GetBlock(receiver.InBuffUsed());
    EXPECT_TRUE(WaitFor([&] { return receiver.InBuffUsed() == 4; }));
    EXPECT_EQ(receiver.GetBlock(4), "tail");
}

TEST(CommPort, SoftwareFlowControlHoldsOutputOnXOff)
{
    NullModemPair cable;
    TApdWinsockPort sender, receiver;
    sender.SetDevicePath(cable.PathA());
    receiver.SetDevicePath(cable.PathB());
    for (TApdWinsockPort* p : {&sender, &receiver})
        p->SetHWFlowOptions(0);
    sender.SetSWFlowOptions(swfTransmit);
    receiver.SetSWFlowOptions(swfReceive);
    receiver.SetInSize(64);
    receiver.SetBufferFull(16);
    receiver.SetBufferResume(4);
    receiver.SetOpen(true);
    sender.SetOpen(true);

    sender.PutString(std::string(20, 'x'));
    ASSERT_TRUE(WaitFor([&] { return receiver.InBuffUsed() == 20; }));
    // Bytes keep their order on the line, so once the marker is in, the
    // XOFF before it has reached the sender, which takes it out of its input.
    receiver.PutChar('m');
    ASSERT_TRUE(WaitFor([&] { return sender.CharReady(); }));
    EXPECT_EQ(sender.GetChar(), 'm');
    sender.PutString("held");
    EXPECT_EQ(sender.OutBuffUsed(), 4);

    receiver.GetBlock(20);
    EXPECT_TRUE(WaitFor([&] { return receiver.InBuffUsed() == 4; }));
    EXPECT_EQ(receiver.GetBlock(4), "held");
    EXPECT_EQ(sender.OutBuffUsed(), 0);
    EXPECT_FALSE(sender.CharReady());
}

TEST_F(OpenCable, TimerTriggerFiresOnceAndCanBeCancelled)
{
    PortRecorder events(port);
    const quint16 fires = port.AddTimerTrigger();
    const quint16 cancelled = port.AddTimerTrigger();
    ASSERT_NE(fires, cancelled);
    port.SetTimerTrigger(cancelled, 2, true);
    port.SetTimerTrigger(fires, 4, true);
    port.SetTimerTrigger(cancelled, 0, false);
    ASSERT_TRUE(WaitFor([&] { return !events.timerHandles.empty(); }));
    EXPECT_EQ(events.timerHandles, std::vector<quint16>{fires});

    // Re-armed, it fires again; removed, it never does.
    port.SetTimerTrigger(fires, 1, true);
    ASSERT_TRUE(WaitFor([&] { return events.timerHandles.size() == 2; }));
    port.SetTimerTrigger(fires, 1, true);
    port.RemoveTrigger(fires);
    const quint16 marker = port.AddTimerTrigger();
    port.SetTimerTrigger(marker, 3, true);
    ASSERT_TRUE(WaitFor([&] { return events.timerHandles.size() == 3; }));
    EXPECT_EQ(events.timerHandles.back(), marker);
}

TEST_F(OpenCable, ClosingDiscardsTriggersAndBufferedInput)
{
    PortRecorder events(port);
    const quint16 timer = port.AddTimerTrigger();
    port.SetTimerTrigger(timer, 1, true);
    peer.PutString("stale");
    port.SetOpen(false);
    port.SetOpen(true);
    const quint16 marker = port.AddTimerTrigger();
    port.SetTimerTrigger(marker, 3, true);
    ASSERT_TRUE(WaitFor([&] { return !events.timerHandles.empty(); }));
    EXPECT_EQ(events.timerHandles, std::vector<quint16>{marker});
    EXPECT_EQ(events.received, "");
}
