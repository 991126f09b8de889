#include "port_test_util.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <gtest/gtest.h>

namespace {

struct LoopbackServer : ::testing::Test {
    LoopbackServer()
    {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        port.SetDeviceLayer(dlWinsock);
        port.SetWsAddress("127.0.0.1");
        port.SetWsPort(std::to_string(server.serverPort()));
    }
    QTcpSocket* Accept()
    {
        if (!WaitFor([&] { return server.hasPendingConnections(); }))
            return nullptr;
        return server.nextPendingConnection();
    }
    QTcpServer server;
    TApdWinsockPort port;
    PortRecorder events{port};
};

} // namespace

TEST_F(LoopbackServer, ConnectsExchangesAndReportsDisconnect)
{
    port.SetOpen(true);
    QTcpSocket* peer = Accept();
    ASSERT_NE(peer, nullptr);
    ASSERT_TRUE(WaitFor([&] { return events.connects == 1; }));
    EXPECT_TRUE(port.Connected());

    const std::string claim("01\x1c\x1d\x1e\x00\xff end", 12);
    port.PutString(claim);
    QByteArray got;
    ASSERT_TRUE(WaitFor([&] {
        got += peer->readAll();
        return got.size() >= 12;
    }));
    EXPECT_EQ(got.toStdString(), claim);

    peer->write("response");
    ASSERT_TRUE(WaitFor([&] { return events.received == "response"; }));

    peer->close();
    ASSERT_TRUE(WaitFor([&] { return events.disconnects == 1; }));
    EXPECT_TRUE(events.errors.empty());
    EXPECT_TRUE(port.Open());
    EXPECT_THROW(port.PutString("late"), EPortError);
}

TEST_F(LoopbackServer, ClosingThePortEndsTheConnection)
{
    port.SetOpen(true);
    QTcpSocket* peer = Accept();
    ASSERT_NE(peer, nullptr);
    ASSERT_TRUE(WaitFor([&] { return events.connects == 1; }));
    port.PutString("last words");
    port.SetOpen(false);
    QByteArray got;
    EXPECT_TRUE(WaitFor([&] {
        got += peer->readAll();
        return peer->state() == QAbstractSocket::UnconnectedState;
    }));
    got += peer->readAll();
    EXPECT_EQ(got, "last words");
    EXPECT_EQ(events.disconnects, 0); // no notifications after close
}

TEST_F(LoopbackServer, RefusedConnectionIsAnErrorEventWithText)
{
    const std::string deadPort = std::to_string(server.serverPort());
    server.close();
    port.SetOpen(true);
    ASSERT_TRUE(WaitFor([&] { return !events.errors.empty(); }));
    EXPECT_EQ(events.errors, std::vector<int>{ECONNREFUSED});
    EXPECT_EQ(PortErrorText(events.errors[0]), "Connection refused");
    EXPECT_EQ(events.connects, 0);
}

TEST_F(LoopbackServer, TimerTriggerBoundsAConnect)
{
    // The program bounds every connect with a timer trigger on the port.
    port.SetOpen(true);
    const quint16 timer = port.AddTimerTrigger();
    port.SetTimerTrigger(timer, 1, true);
    ASSERT_TRUE(WaitFor([&] { return !events.timerHandles.empty(); }));
    EXPECT_EQ(events.timerHandles.front(), timer);
}

TEST(SocketPort, ServiceNamesAndBadPortsAtOpen)
{
    TApdWinsockPort port;
    port.SetDeviceLayer(dlWinsock);
    EXPECT_EQ(port.WsPort(), "telnet");
    port.SetWsPort("no-such-service-here");
    port.SetWsAddress("127.0.0.1");
    EXPECT_THROW(port.SetOpen(true), EPortError);
    EXPECT_FALSE(port.Open());
    port.SetWsAddress("");
    port.SetWsPort("23");
    EXPECT_THROW(port.SetOpen(true), EPortError);
}

TEST(SocketPort, ErrorCodesHaveTexts)
{
    for (int code : {ECONNREFUSED, ETIMEDOUT, ECONNRESET, int(ecHostNotFound), int(ecPortNotOpen),
                     int(ecOutputBufferFull), int(ecNotConnected)}) {
        EXPECT_FALSE(PortErrorText(code).empty()) << code;
        EXPECT_LT(code, 65536);
    }
    EXPECT_EQ(PortErrorText(ecHostNotFound), "Host not found");
}
