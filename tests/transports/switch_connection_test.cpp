#include "transports/switch_connection.h"
#include "wait_for.h"

#include "base/claim_error.h"
#include "base/general_log.h"
#include "app/headless_view.h"
#include "config/settings.h"
#include "relay/frames.h"
#include "base/twofish.h"
#include "sim_support.h"
#include "test_env.h"
#include "test_logs.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// The relay's side of the main window's link, served from the event loop,
// so it answers while the exchange waits. Each connection gets fresh
// Twofish contexts, as the relay makes them.
class ClaimPeer : public QObject {
public:
    struct Request {
        std::string header;  // 24 bytes as received
        std::string wireBody;
        std::string body;    // decrypted
    };

    ClaimPeer()
    {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] { Accept(); });
    }

    int Port() const { return server_.serverPort(); }
    int Connections() const { return connections_; }
    const std::vector<Request>& Requests() const { return requests_; }

    // Called with every complete request; it answers or stays silent.
    std::function<void(const Request&)> onRequest;

    // A reply in the relay's framing: the request's first ten bytes and
    // sequence, then the encrypted body.
    void Reply(const Request& request, const std::string& body)
    {
        std::string encrypted = body;
        EncryptBuffer(encoder_.get(), encrypted.data(), static_cast<int>(encrypted.size()));
        std::string header = request.header;
        WriteClaimReplyHeader(header.data(), request.header.data() + 10, static_cast<int>(body.size()));
        SendRaw(header + encrypted);
    }

    void CloseClient() { client_->close(); }

    void SendRaw(const std::string& bytes) { client_->write(bytes.data(), static_cast<qint64>(bytes.size())); }

private:
    void Accept()
    {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            ++connections_;
            client_ = socket;
            buffer_.clear();
            decoder_ = CreateTwofishContext(TwofishBlocks);
            encoder_ = CreateTwofishContext(TwofishBlocks);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
        }
    }

    void Read(QTcpSocket* socket)
    {
        buffer_ += socket->readAll().toStdString();
        while (buffer_.size() >= kClaimHeaderSize) {
            long length = ParseClaimHeader(buffer_.data()).bodyLength;
            size_t total = kClaimHeaderSize + static_cast<size_t>(std::max(length, 0L));
            if (buffer_.size() < total)
                return;
            Request request{buffer_.substr(0, kClaimHeaderSize), buffer_.substr(kClaimHeaderSize, total - kClaimHeaderSize), {}};
            request.body = request.wireBody;
            DecryptBuffer(decoder_.get(), request.body.data(), static_cast<int>(request.body.size()));
            buffer_.erase(0, total);
            requests_.push_back(request);
            if (onRequest)
                onRequest(requests_.back());
        }
    }

    QTcpServer server_;
    QTcpSocket* client_ = nullptr;
    std::string buffer_;
    std::unique_ptr<TwofishContext> decoder_;
    std::unique_ptr<TwofishContext> encoder_;
    std::vector<Request> requests_;
    int connections_ = 0;
};

// A listener whose accept queue is already full: the kernel drops further
// connection requests, so a connect to it never completes.
class FullBacklogListener {
public:
    FullBacklogListener()
    {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listenFd_, 0);
        socklen_t size = sizeof address;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        fillerFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(fillerFd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ~FullBacklogListener()
    {
        ::close(fillerFd_);
        ::close(listenFd_);
    }

    // True once the filler connection waits in the accept queue.
    bool Full() const
    {
        pollfd entry{listenFd_, POLLIN, 0};
        return ::poll(&entry, 1, 10000) == 1;
    }
    int Port() const { return port_; }

private:
    int listenFd_ = -1;
    int fillerFd_ = -1;
    int port_ = 0;
};


// Counts the opens of a port and runs an action at one of them.
class OpenWatcher : public PortListener {
public:
    void PortOpened() override
    {
        ++opens;
        if (opens == actAt && action)
            action();
    }
    int opens = 0;
    int actAt = 0;
    std::function<void()> action;
};

int Occurrences(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class SwitchConnectionTest : public ::testing::Test {
protected:
    void SetUp() override { Configure(); }

    // A working socket route to the peer, with the general log on.
    void Configure()
    {
        SetConfigName("");
        LogInto(home.path() + "/log.txt");
        SetInboundHostName("127.0.0.1");
        SetInboundPort(peer.Port());
        SetOutboundConnectTimeout(5);
        SetOutboundOverallTimeout(30);
        SetEnableNetwork1(true);
        SetOutboundHostName1("127.0.0.1");
        SetOutboundPort1A(4000);
        SetEnableOutboundTwofishSecurity(true);
        SetConnectViaTapi(false);
    }

    std::string Log() const { return ReadWholeFile(home.path() + "/log.txt"); }

    // ConnectToSwitch; the message of its exception, empty on success.
    std::string Connect()
    {
        try {
            connection.ConnectToSwitch();
        } catch (const ClaimError& error) {
            return error.what();
        }
        return {};
    }

    void ConnectToPeer()
    {
        ASSERT_EQ(Connect(), "") << Log();
        ASSERT_TRUE(WaitFor([&] { return peer.Connections() > 0; }, 10));
    }

    // Answers every request with "R:" and its body reversed.
    void AnswerEveryClaim()
    {
        peer.onRequest = [this](const ClaimPeer::Request& request) {
            peer.Reply(request, "R:" + std::string(request.body.rbegin(), request.body.rend()));
        };
    }

    TestHome home;
    ClaimPeer peer;
    ControllerState state;
    HeadlessView view;
    bool relayStarts = true;
    std::vector<bool> relayWaits;
    SwitchConnection connection{state, view, [this](bool wait) {
                                    relayWaits.push_back(wait);
                                    return relayStarts;
                                }};
};

} // namespace

TEST_F(SwitchConnectionTest, TwoClaimsTravelEncryptedBothWaysOnOneConnection)
{
    AnswerEveryClaim();
    ASSERT_NO_FATAL_FAILURE(ConnectToPeer());
    SetClaimSequenceForTests(41);
    // Lengths off the 16-byte grid keep both tail streams moving.
    const std::string first = std::string("CLAIM\x1c" "ONE\x1d", 10) + std::string(27, 'a');
    const std::string second = "SECOND\x1e" "claim";

    std::string reply;
    ASSERT_EQ(connection.SocketExchange(first, reply), 0) << Log();
    EXPECT_EQ(reply, "R:" + std::string(first.rbegin(), first.rend()));
    ASSERT_EQ(connection.SocketExchange(second, reply), 0) << Log();
    EXPECT_EQ(reply, "R:" + std::string(second.rbegin(), second.rend()));

    ASSERT_EQ(peer.Requests().size(), 2u);
    EXPECT_EQ(peer.Requests()[0].header, "0100000540000000420000" "37");
    EXPECT_EQ(peer.Requests()[1].header, "010000054000000043000012");
    EXPECT_EQ(peer.Requests()[0].body, first);
    EXPECT_EQ(peer.Requests()[1].body, second);
    EXPECT_NE(peer.Requests()[0].wireBody, first);  // never plain on the wire
    EXPECT_NE(peer.Requests()[1].wireBody, second);

    std::string log = Log();
    EXPECT_NE(log.find("Socket WriteBuffer(36)(010000054000000043000012SECOND\\x1Eclaim)"), std::string::npos) << log;
    EXPECT_NE(log.find("Decoded Resp(14)(R:mialc\\x1EDNOCES)"), std::string::npos) << log;
    EXPECT_TRUE(view.StatusText().endsWith("  Awaiting response..."));
}

TEST_F(SwitchConnectionTest, EveryConnectStartsFreshCipherStreams)
{
    AnswerEveryClaim();
    ASSERT_NO_FATAL_FAILURE(ConnectToPeer());
    std::string reply;
    ASSERT_EQ(connection.SocketExchange("first link", reply), 0) << Log();
    connection.CloseSocket();
    EXPECT_FALSE(connection.IsPortOpen());

    ASSERT_EQ(Connect(), "") << Log();
    ASSERT_TRUE(WaitFor([&] { return peer.Connections() == 2; }, 10));
    ASSERT_EQ(connection.SocketExchange("second link", reply), 0) << Log();
    EXPECT_EQ(reply, "R:knil dnoces");
    EXPECT_EQ(peer.Requests().back().body, "second link");
}

TEST_F(SwitchConnectionTest, ConnectWhileConnectedReplacesTheConnection)
{
    AnswerEveryClaim();
    ASSERT_NO_FATAL_FAILURE(ConnectToPeer());
    std::string reply;
    ASSERT_EQ(connection.SocketExchange("old link", reply), 0) << Log();
    ASSERT_EQ(Connect(), "") << Log();
    ASSERT_TRUE(WaitFor([&] { return peer.Connections() == 2; }, 10));
    ASSERT_EQ(connection.SocketExchange("new link", reply), 0) << Log();
    EXPECT_EQ(reply, "R:knil wen");
}

TEST_F(SwitchConnectionTest, ClaimLargerThanTheOutputBufferGoesOutInBlocks)
{
    AnswerEveryClaim();
    ASSERT_NO_FATAL_FAILURE(ConnectToPeer());
    std::string claim;
    for (int i = 0; claim.size() < 20000; ++i)
        claim += std::to_string(i) + '\x1c';
    std::string reply;
    ASSERT_EQ(connection.SocketExchange(claim, reply), 0) << Log();
    EXPECT_EQ(reply, "R:" + std::string(claim.rbegin(), claim.rend()));
    ASSERT_EQ(peer.Requests().size(), 1u);
    EXPECT_EQ(peer.Requests()[0].body, claim);
    EXPECT_GT(Occurrences(Log(), "Sending Data, lcv("), 1);
}

TEST_F(SwitchConnectionTest, ClaimToAClosedConnectionFailsAtOnce)
{
    ASSERT_NO_FATAL_FAILURE(ConnectToPeer());
    peer.CloseClient();
    ASSERT_TRUE(WaitFor([&] { return !state.switchConnected; }, 10));
    std::string reply = "left over";
    EXPECT_EQ(connection.SocketExchange("claim", reply), -1);
    EXPECT_EQ(reply, "");
    EXPECT_NE(Log().find("PutBlock failed with Exception 'Socket is not connected'"), std::string::npos) << Log();
}

TEST_F(SwitchConnectionTest, EmptyClaimIsABareHeaderAndEmptyRepliesNeedNoBody)
{
    // Nothing but the header comes back: waiting for a body byte would run
    // into the three-second reply limit and fail.
    SetOutboundOverallTimeout(1);
    ASSERT_NO_FATAL_FAILURE(ConnectToPeer());
    for (const char* lengthField : {"000000", "-00005"}) {
        SCOPED_TRACE(lengthField);
        peer.onRequest = [&](const ClaimPeer::Request& request) {
            peer.SendRaw(request.header.substr(0, 18) + lengthField);
        };
        std::string reply = "left over";
        EXPECT_EQ(connection.SocketExchange("", reply), 0) << Log();
        EXPECT_EQ(reply, "");
        ASSERT_FALSE(peer.Requests().empty());
        EXPECT_EQ(peer.Requests().back().header.size(), 24u);
        EXPECT_EQ(peer.Requests().back().header.substr(18), "000000");
        EXPECT_EQ(peer.Requests().back().wireBody, "");
    }
}

TEST_F(SwitchConnectionTest, SequenceWrapsFromTheLastEightDigitNumberToOne)
{
    AnswerEveryClaim();
    ASSERT_NO_FATAL_FAILURE(ConnectToPeer());
    SetClaimSequenceForTests(99999998);
    std::string reply;
    ASSERT_EQ(connection.SocketExchange("x", reply), 0);
    ASSERT_EQ(connection.SocketExchange("y", reply), 0);
    ASSERT_EQ(connection.SocketExchange("z", reply), 0);
    ASSERT_EQ(peer.Requests().size(), 3u);
    EXPECT_EQ(peer.Requests()[0].header.substr(10, 8), "99999999");
    EXPECT_EQ(peer.Requests()[1].header.substr(10, 8), "00000001");
    EXPECT_EQ(peer.Requests()[2].header.substr(10, 8), "00000002");
}

TEST_F(SwitchConnectionTest, MalformedReplyHeadersAreRefused)
{
    struct Case {
        const char* header;
        const char* logLine;
        bool replyIsHeader;
    };
    const Case cases[] = {
        {"020000054000000001000003", "Unsupported record version received (02).  Expected version (01)", false},
        {"01000005400000000100001x", "Could not convert record length to int.  Exception:  ''00001x' is not a valid integer value'", true},
        {"010000054000000001      ", "Could not convert record length to int.  Exception:  ''      ' is not a valid integer value'", true},
        {"0100000540000000011 2   ", "Could not convert record length to int.  Exception:  ''1 2   ' is not a valid integer value'", true},
    };
    ASSERT_NO_FATAL_FAILURE(ConnectToPeer());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        peer.onRequest = [&](const ClaimPeer::Request&) { peer.SendRaw(std::string(c.header) + "abc"); };
        std::string reply = "left over";
        EXPECT_EQ(connection.SocketExchange("claim", reply), -1);
        EXPECT_EQ(reply, c.replyIsHeader ? c.header : "");
        EXPECT_NE(Log().find(c.logLine), std::string::npos) << Log();
        // Start the next case on a clean connection.
        connection.CloseSocket();
        ASSERT_EQ(Connect(), "") << Log();
    }
}

TEST_F(SwitchConnectionTest, SilentPeerFailsTheExchangeWithWhatArrived)
{
    struct Case {
        std::string sent;
        std::vector<std::string> logLines;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {"0100000540", {"ReadCharTimed() Failed", "Header data received prior to error (10)", "  Header(10)(0100000540)"}, ""},
        {"010000054000000001000009WXYZ",
         {"Received first claim character.", "ReadCharTimed() Failed", "Claim data received prior to error (4)",
          "  Claim[003] = (Z)"},
         "WXYZ"},
    };
    SetOutboundOverallTimeout(1);  // three seconds of silence before each byte
    ASSERT_NO_FATAL_FAILURE(ConnectToPeer());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent);
        peer.onRequest = [&](const ClaimPeer::Request&) { peer.SendRaw(c.sent); };
        std::string reply = "left over";
        EXPECT_EQ(connection.SocketExchange("claim", reply), -1);
        EXPECT_EQ(reply, c.reply);
        std::string log = Log();
        for (const std::string& line : c.logLines)
            EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
        connection.CloseSocket();
        ASSERT_EQ(Connect(), "") << Log();
    }
}

TEST_F(SwitchConnectionTest, PeerThatHangsUpEndsTheWaitForTheReply)
{
    SetOutboundOverallTimeout(300);
    ASSERT_NO_FATAL_FAILURE(ConnectToPeer());
    peer.onRequest = [&](const ClaimPeer::Request&) {
        peer.SendRaw("01000");
        peer.CloseClient();
    };
    // A generous bound in place of the reply limit: only an exchange that
    // notices the closed connection ends before it.
    bool watchdogFired = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        watchdogFired = true;
        state.cancelRequested = true;
    });
    watchdog.start(60000);
    std::string reply = "left over";
    EXPECT_EQ(connection.SocketExchange("claim", reply), -1);
    EXPECT_FALSE(watchdogFired);
    EXPECT_EQ(reply, "");
    EXPECT_NE(Log().find("Header data received prior to error (5)"), std::string::npos) << Log();
}

TEST_F(SwitchConnectionTest, CancelWhileTheHeaderIsAwaitedGivesAnEmptyReply)
{
    ASSERT_NO_FATAL_FAILURE(ConnectToPeer());
    // The request has left, so the exchange is waiting for the reply.
    peer.onRequest = [&](const ClaimPeer::Request&) { state.cancelRequested = true; };
    std::string reply = "left over";
    EXPECT_EQ(connection.SocketExchange("claim", reply), -1);
    EXPECT_EQ(reply, "");
    std::string log = Log();
    EXPECT_NE(log.find("Header data received prior to cancel / error (0)"), std::string::npos) << log;
    EXPECT_NE(log.find("  Header(0)()"), std::string::npos) << log;
}

TEST_F(SwitchConnectionTest, CancelDuringTheBodyReturnsThePartialBody)
{
    ASSERT_NO_FATAL_FAILURE(ConnectToPeer());
    peer.onRequest = [&](const ClaimPeer::Request&) { peer.SendRaw("010000054000000001000010ABC"); };
    // Cancel once the three body bytes are taken and the exchange waits for more.
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (connection.ApdComPort.InBuffUsed() == 0 && Log().find("Received first claim character.") != std::string::npos)
            state.cancelRequested = true;
    });
    cancel.start(5);
    std::string reply;
    EXPECT_EQ(connection.SocketExchange("claim", reply), -1);
    EXPECT_EQ(reply, "ABC");
    std::string log = Log();
    EXPECT_NE(log.find("Claim data received prior to cancel / error (3)"), std::string::npos) << log;
    EXPECT_NE(log.find("  Claim[000] = (A)"), std::string::npos) << log;
    EXPECT_NE(log.find("  Claim[002] = (C)"), std::string::npos) << log;
}

TEST_F(SwitchConnectionTest, CancelBeforeSendingSendsNothing)
{
    ASSERT_NO_FATAL_FAILURE(ConnectToPeer());
    state.cancelRequested = true;
    std::string reply = "left over";
    EXPECT_EQ(connection.SocketExchange("claim", reply), -1);
    EXPECT_EQ(reply, "");
    EXPECT_EQ(Log().find("Socket WriteBuffer"), std::string::npos);
}

TEST_F(SwitchConnectionTest, AcceptingPeerGivesAnEstablishedConnection)
{
    ASSERT_NO_FATAL_FAILURE(ConnectToPeer());
    EXPECT_TRUE(connection.IsPortOpen());
    EXPECT_TRUE(state.switchConnected);
    EXPECT_TRUE(state.connectInProgress);
    EXPECT_FALSE(connection.HasConnectTrigger());
    EXPECT_EQ(relayWaits, std::vector<bool>{true});
    std::string log = Log();
    EXPECT_NE(log.find("Calling StartMxSock() from WinSockConnect()."), std::string::npos);
    EXPECT_NE(log.find("Connecting to Tuq via Network # 0; Attempt # 1."), std::string::npos);
    EXPECT_NE(log.find("Connection established."), std::string::npos) << log;
    EXPECT_NE(log.find("Winsock Connect operation to Tuq complete"), std::string::npos) << log;
    EXPECT_EQ(log.find("Attempt # 2."), std::string::npos);
}

TEST_F(SwitchConnectionTest, FailedConnectsRaiseTheirReason)
{
    struct Case {
        const char* name;
        std::function<void()> setup;
        bool relayStarts;
        std::string message;
        int attempts;
    };
    const int unused = sim::UnusedLoopbackPort();
    const std::vector<Case> cases = {
        {"no listener", [&] { SetInboundPort(unused); }, true,
         "Network connection failed with Exception 'Winsock connection did not open to Tuq'", 3},
        {"no timeout", [] { SetOutboundConnectTimeout(0); }, true,
         "Network connection failed with Exception 'Specify a connection timeout >= 0 prior to sending data (Click "
         "Options button)'",
         0},
        {"no inbound port", [] { SetInboundPort(0); }, true, "Socket Port data source parameters were not specified", 0},
        {"relay down", [] {}, false, "Could not establish network connection", 0},
        {"no route", [] { SetEnableNetwork1(false); }, true,
         "Network and modem connection parameters were not specified", 0},
        {"modem after socket", [] {
             SetInboundPort(0);
             SetConnectViaTapi(true);
             SetTapiDeviceName("");
         },
         true,
         "Connections failed.  Exceptions...\n\n'Socket Port data source parameters were not specified\n\n"
         "Select and configure a Modem prior to sending data (View | Options menu)",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove((home.path() + "/log.txt").c_str());
        Configure();
        c.setup();
        relayStarts = c.relayStarts;
        EXPECT_EQ(Connect(), c.message);
        EXPECT_FALSE(connection.IsPortOpen());
        EXPECT_FALSE(state.switchConnected);
        EXPECT_FALSE(connection.HasConnectTrigger());
        std::string log = Log();
        EXPECT_EQ(Occurrences(log, "; Attempt # "), c.attempts) << log;
        if (c.attempts > 0) {
            EXPECT_NE(log.find("Received Port Error event from Tuq.  ErrCode = 111"), std::string::npos) << log;
            EXPECT_NE(log.find("  Port Error Message = 'Connection refused'"), std::string::npos) << log;
            EXPECT_NE(log.find("Winsock did not open port to Tuq"), std::string::npos) << log;
            EXPECT_NE(log.find("Network connection failed with Exception 'Winsock connection did not open to Tuq'"),
                      std::string::npos);
        }
    }
}

TEST_F(SwitchConnectionTest, ConnectThatNeverCompletesTimesOutThreeTimes)
{
    FullBacklogListener listener;
    ASSERT_TRUE(listener.Full());
    SetInboundPort(listener.Port());
    SetOutboundConnectTimeout(1);
    EXPECT_EQ(Connect(), "Network connection failed with Exception 'Winsock connection to Tuq timed out'");
    EXPECT_FALSE(connection.IsPortOpen());
    std::string log = Log();
    EXPECT_EQ(Occurrences(log, "Received Port Trigger Timer event from Tuq (connection timed out)"), 3) << log;
    EXPECT_NE(log.find("Attempt # 3."), std::string::npos);
}

TEST_F(SwitchConnectionTest, CancelDuringTheSecondAttemptMakesNoThird)
{
    FullBacklogListener listener;
    ASSERT_TRUE(listener.Full());
    SetInboundPort(listener.Port());
    SetOutboundConnectTimeout(1);
    OpenWatcher watcher;
    watcher.actAt = 2;
    // The user's Cancel arrives from the event loop while attempt 2 waits.
    watcher.action = [&] { QTimer::singleShot(0, [&] { state.cancelRequested = true; }); };
    connection.ApdComPort.AddListener(&watcher, ListenerRank::StatusLights);

    EXPECT_EQ(Connect(), "Network connection failed with Exception 'Winsock connection operation to Tuq cancelled'");
    connection.ApdComPort.RemoveListener(&watcher);
    EXPECT_EQ(watcher.opens, 2);
    EXPECT_FALSE(connection.IsPortOpen());
    std::string log = Log();
    EXPECT_NE(log.find("Winsock Connect operation to Tuq cancelled"), std::string::npos) << log;
    EXPECT_EQ(log.find("Attempt # 3."), std::string::npos) << log;
}
