#include "port_test_util.h"

#include "ports/telnet_filter.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

TEST(TelnetFilter, TakesOutCommandsAndRefusesOptions)
{
    struct Case {
        std::string in, data, replies;
    };
    const Case cases[] = {
        {"plain", "plain", ""},
        {"a\xff\xff" "b", "a\xff" "b", ""},
        {"x\xff\xfd\x01y", "xy", "\xff\xfc\x01"},   // DO echo -> WONT echo
        {"\xff\xfb\x03z", "z", "\xff\xfe\x03"},     // WILL sga -> DONT sga
        {"\xff\xfc\x01\xff\xfe\x01k", "k", ""},     // WONT/DONT need no answer
        {"\xff\xfa\x18\x01\xff\xf0m", "m", ""},     // subnegotiation skipped
        {"\xff\xf1n", "n", ""},                     // NOP
    };
    for (const Case& c : cases) {
        TelnetFilter filter;
        QByteArray replies;
        const QByteArray data = filter.Receive(QByteArray::fromStdString(c.in), replies);
        EXPECT_EQ(data.toStdString(), c.data) << c.data;
        EXPECT_EQ(replies.toStdString(), c.replies) << c.data;
    }
}

TEST(TelnetFilter, CommandSplitAcrossPiecesIsCarriedOver)
{
    TelnetFilter filter;
    QByteArray replies;
    std::string data = filter.Receive("ab\xff", replies).toStdString();
    data += filter.Receive("\xfd", replies).toStdString();
    data += filter.Receive("\x01" "cd", replies).toStdString();
    EXPECT_EQ(data, "abcd");
    EXPECT_EQ(replies.toStdString(), "\xff\xfc\x01");
    EXPECT_EQ(TelnetFilter::Escape("a\xff" "b").toStdString(), "a\xff\xff" "b");
}

TEST(TelnetFilter, SocketPortUsesItOnlyWhenAskedTo)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    for (bool telnet : {false, true}) {
        TApdWinsockPort port;
        port.SetDeviceLayer(dlWinsock);
        port.SetWsAddress("127.0.0.1");
        port.SetWsPort(std::to_string(server.serverPort()));
        port.SetWsTelnet(telnet);
        PortRecorder events(port);
        port.SetOpen(true);
        ASSERT_TRUE(WaitFor([&] { return server.hasPendingConnections() && events.connects == 1; }));
        QTcpSocket* peer = server.nextPendingConnection();

        peer->write(QByteArray("A\xff\xfd\x01" "B", 5));
        port.PutString("\xff");
        const std::string expectData = telnet ? "AB" : "A\xff\xfd\x01" "B";
        // The put leaves at once; the refusal follows when the command arrives.
        const std::string expectPeer = telnet ? "\xff\xff\xff\xfc\x01" : "\xff";
        QByteArray atPeer;
        EXPECT_TRUE(WaitFor([&] {
            atPeer += peer->readAll();
            return events.received == expectData && atPeer.size() >= qsizetype(expectPeer.size());
        })) << telnet;
        EXPECT_EQ(atPeer.toStdString(), expectPeer) << telnet;
        delete peer;
    }
}
