#include "relay_fixture.h"
#include "switch_peer.h"

#include "base/format_text.h"

#include <QDir>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace {

class RelayTest : public RelayTestBase, public ::testing::Test {};

std::string Tuq12(const std::string& text)
{
    std::string field = text;
    field.resize(12, ' ');
    return field;
}

// Where a switch handler waits for the test, never longer than the limit, so
// that a failing test cannot hang the switch.
class Gate {
public:
    void Open() { promise_.set_value(); }
    void Wait() const { future_.wait_for(std::chrono::seconds(30)); }

private:
    std::promise<void> promise_;
    std::shared_future<void> future_ = promise_.get_future().share();
};

// A claim with the largest data a frame carries.
std::string LargestClaim(const std::string& tag)
{
    std::string claim = SampleClaim(tag);
    return claim + std::string(kMaxFrameData - claim.size(), 'x');
}

struct FramingCase {
    int inboundFormat;
    bool outboundTwofish;
};

class RelayForwarding : public RelayTest, public ::testing::WithParamInterface<FramingCase> {};

} // namespace

TEST_P(RelayForwarding, ClaimGoesUpstreamAndTheResponseComesBack)
{
    const FramingCase c = GetParam();
    SwitchPeerOptions options;
    options.twofish = c.outboundTwofish;
    SwitchPeer peer(SwitchPeer::Echo(), options);
    UseHost(1, "127.0.0.1", peer.port(), 0);
    SetInboundSocketFormat(c.inboundFormat);
    SetEnableOutboundTwofishSecurity(c.outboundTwofish);

    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundFraming framing = c.inboundFormat >= 2 ? InboundFraming::TuqHeader : InboundFraming::MxSock;
    bool inboundTwofish = c.inboundFormat == 1 || c.inboundFormat == 3;
    InboundClient client(inboundPort, framing, inboundTwofish);
    ASSERT_TRUE(client.connected());

    // Two claims in a row also check that the cipher streams stay in step.
    const std::string sequence = framing == InboundFraming::TuqHeader ? "client-seq-1" : "00001234";
    for (const std::string& claim : {SampleClaim("first claim, 37 bytes long......"), SampleClaim("second")}) {
        client.SendClaim(sequence, claim);
        auto reply = client.ReadReply();
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->data, "RSP:" + claim);
        if (framing == InboundFraming::TuqHeader) {
            EXPECT_EQ(reply->header.substr(4), sequence);
        } else {
            EXPECT_EQ(reply->header.substr(0, 10), "0100000540");
            EXPECT_EQ(reply->header.substr(10, 8), sequence);
            EXPECT_EQ(reply->header.substr(18), FormatText("%.6zu", reply->data.size()));
        }
    }
    auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].data, SampleClaim("first claim, 37 bytes long......"));
    // The upstream sequence field names the relay's own number.
    if (framing == InboundFraming::TuqHeader)
        EXPECT_EQ(requests[0].sequence.substr(9), "   ");
    else
        EXPECT_TRUE(requests[0].sequence[0] == '0' && requests[0].sequence.substr(9) == "000");
    EXPECT_EQ(std::stol(requests[1].sequence.substr(1, 8)), std::stol(requests[0].sequence.substr(1, 8)) + 1);
}

INSTANTIATE_TEST_SUITE_P(AllFramings, RelayForwarding,
                         ::testing::Values(FramingCase{0, false}, FramingCase{1, false}, FramingCase{2, false},
                                           FramingCase{3, false}, FramingCase{1, true}, FramingCase{3, true}),
                         [](const ::testing::TestParamInfo<FramingCase>& info) {
                             return "Format" + std::to_string(info.param.inboundFormat) +
                                    (info.param.outboundTwofish ? "OutboundTwofish" : "Plain");
                         });

TEST_F(RelayTest, ServesMoreClientsThanSelectCouldWatch)
{
    SwitchPeer peer(SwitchPeer::Echo());
    UseHost(1, "127.0.0.1", peer.port(), 0);
    SetEnableNetworkDebugMessages(false);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    // Every client stays connected, so the relay ends up watching more
    // descriptors than select() could; each claim goes round before the next
    // client connects.
    const int count = 1100;
    std::vector<std::unique_ptr<InboundClient>> clients;
    for (int i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<InboundClient>(inboundPort, InboundFraming::TuqHeader, false));
        ASSERT_TRUE(clients.back()->connected()) << i;
        std::string tag = std::to_string(i);
        clients.back()->SendClaim(Tuq12(tag), SampleClaim(tag));
        auto reply = clients.back()->ReadReply();
        ASSERT_TRUE(reply) << i;
        ASSERT_EQ(reply->data, "RSP:" + SampleClaim(tag));
    }
    // The first client is still served.
    clients.front()->SendClaim(Tuq12("again"), SampleClaim("again"));
    auto reply = clients.front()->ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->data, "RSP:" + SampleClaim("again"));
}

TEST_F(RelayTest, ClaimDeliveredInPiecesIsAssembled)
{
    SwitchPeer peer(SwitchPeer::Echo());
    UseHost(1, "127.0.0.1", peer.port(), 0);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::TuqHeader, false);

    std::string frame = client.Frame(Tuq12("pieces"), SampleClaim());
    client.SendRaw(frame.substr(0, 4));
    ASSERT_TRUE(AwaitLog("Header - got 4 of 16 bytes"));
    client.SendRaw(frame.substr(4, 20));
    ASSERT_TRUE(AwaitLog("Data - got 8 of"));
    client.SendRaw(frame.substr(24));

    auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->data, "RSP:" + SampleClaim());
    relay.Stop();
    ASSERT_TRUE(relay.WaitEnded());
    std::string log = NetLog();
    EXPECT_EQ(log.find("rtnSeqno(pieces      )"), log.rfind("rtnSeqno(pieces      )"));
}

TEST_F(RelayTest, ResponseInPiecesSurvivesAClaimWrittenMeanwhile)
{
    // The switch starts answering claim A, then finishes only once claim B
    // has been written upstream in between.
    std::string restOfA;
    std::string netLog = home.path() + "/net.log";
    SwitchPeer peer([&](SwitchConnection& c, const UpstreamRequest& r) {
        if (restOfA.empty()) {
            std::string frame = BuildLengthHeader16(r.sequence, 20) + "response to claim A.";
            c.SendRaw(frame.substr(0, 6));
            restOfA = frame.substr(6);
            return;
        }
        c.SendRaw(restOfA.substr(0, 14));
        PollUntil([&] {
            return ReadWholeFile(netLog).find("    mxClientRead() got 4 of 20 bytes") != std::string::npos;
        });
        c.SendRaw(restOfA.substr(14));
        c.Reply(r.sequence, "response to claim B.");
    });
    UseHost(1, "127.0.0.1", peer.port(), 0);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient clientA(inboundPort, InboundFraming::TuqHeader, false);
    InboundClient clientB(inboundPort, InboundFraming::TuqHeader, false);
    clientA.SendClaim(Tuq12("A"), SampleClaim("A"));
    ASSERT_TRUE(AwaitLog("    mxClientRead() got 6 of 16 bytes"));
    clientB.SendClaim(Tuq12("B"), SampleClaim("B"));

    auto replyA = clientA.ReadReply();
    auto replyB = clientB.ReadReply();
    ASSERT_TRUE(replyA && replyB);
    EXPECT_EQ(replyA->data, "response to claim A.");
    EXPECT_EQ(replyB->data, "response to claim B.");
}

TEST_F(RelayTest, PipelinedClaimsAreAnsweredInTheSwitchOrder)
{
    // The switch holds the first request and answers the second one first.
    std::optional<UpstreamRequest> held;
    SwitchPeer peer([&held](SwitchConnection& c, const UpstreamRequest& r) {
        if (!held) {
            held = r;
            return;
        }
        c.Reply(r.sequence, "second answer");
        c.Reply(held->sequence, "first answer");
    });
    UseHost(1, "127.0.0.1", peer.port(), 0);
    SetInboundSocketFormat(0);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::MxSock, false);

    client.SendRaw(client.Frame("00000011", SampleClaim("A")) + client.Frame("00000022", SampleClaim("B")));
    auto first = client.ReadReply();
    auto second = client.ReadReply();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->data, "second answer");
    EXPECT_EQ(first->header.substr(10, 8), "00000022");
    EXPECT_EQ(second->data, "first answer");
    EXPECT_EQ(second->header.substr(10, 8), "00000011");
}

TEST_F(RelayTest, ClaimBeginningWithTheEndOfAnEarlierOneIsAssembled)
{
    SwitchPeer peer(SwitchPeer::Echo());
    UseHost(1, "127.0.0.1", peer.port(), 0);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::TuqHeader, false);

    // The first claim and 5 bytes of the second come in one piece.
    std::string second = client.Frame(Tuq12("second"), SampleClaim("second"));
    client.SendRaw(client.Frame(Tuq12("first"), SampleClaim("first")) + second.substr(0, 5));
    auto first = client.ReadReply();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->data, "RSP:" + SampleClaim("first"));
    ASSERT_TRUE(AwaitLog("Header - got 5 of 16 bytes"));
    client.SendRaw(second.substr(5));
    auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->header.substr(4), Tuq12("second"));
    EXPECT_EQ(reply->data, "RSP:" + SampleClaim("second"));
}

TEST_F(RelayTest, ResponsesArrivingTogetherAreAllDelivered)
{
    // Both responses come in one segment and nothing follows them: the
    // second must not wait in the relay for more bytes from the switch.
    std::optional<UpstreamRequest> held;
    SwitchPeer peer([&held](SwitchConnection& c, const UpstreamRequest& r) {
        if (!held) {
            held = r;
            return;
        }
        c.SendRaw(BuildLengthHeader16(held->sequence, 12) + "answer to A." + BuildLengthHeader16(r.sequence, 12) +
                  "answer to B.");
    });
    UseHost(1, "127.0.0.1", peer.port(), 0);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient clientA(inboundPort, InboundFraming::TuqHeader, false);
    InboundClient clientB(inboundPort, InboundFraming::TuqHeader, false);
    clientA.SendClaim(Tuq12("A"), SampleClaim("A"));
    ASSERT_TRUE(peer.WaitForRequests(1));
    clientB.SendClaim(Tuq12("B"), SampleClaim("B"));

    auto replyA = clientA.ReadReply();
    auto replyB = clientB.ReadReply();
    ASSERT_TRUE(replyA && replyB);
    EXPECT_EQ(replyA->data, "answer to A.");
    EXPECT_EQ(replyB->data, "answer to B.");
}

TEST_F(RelayTest, FrameSizeLimit)
{
    SwitchPeer peer(SwitchPeer::Echo(""));
    UseHost(1, "127.0.0.1", peer.port(), 0);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());

    InboundClient largest(inboundPort, InboundFraming::TuqHeader, false);
    std::string claim = SampleClaim() + std::string(kMaxFrameData - SampleClaim().size(), 'x');
    largest.SendClaim(Tuq12("max"), claim);
    auto reply = largest.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->data.size(), static_cast<size_t>(kMaxFrameData));

    InboundClient tooLong(inboundPort, InboundFraming::TuqHeader, false);
    tooLong.SendRaw(BuildLengthHeader16(Tuq12("big"), kMaxFrameData + 1));
    EXPECT_TRUE(tooLong.WaitClosed());
    ASSERT_TRUE(AwaitLog("Claim too long(8193)"));
    EXPECT_TRUE(LogHas("   mxSockRead() Error: Data Length(8193) exceeded 8192 bytes."));
    EXPECT_EQ(peer.requests().size(), 1u);
}

TEST_F(RelayTest, ZeroLengthClaimEndsTheConnection)
{
    SwitchPeer peer(SwitchPeer::Echo());
    UseHost(1, "127.0.0.1", peer.port(), 0);
    SetInboundSocketFormat(0);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::MxSock, false);
    client.SendRaw(BuildClaimHeader(5, 0));
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_TRUE(AwaitLog("    Socket Disconnected("));
}

TEST_F(RelayTest, SwitchClosingAnswersTuq02)
{
    SwitchPeer peer([](SwitchConnection& c, const UpstreamRequest&) { c.Close(); });
    UseHost(1, "127.0.0.1", peer.port(), 0);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::TuqHeader, false);
    client.SendClaim(Tuq12("c1"), SampleClaim());
    auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_NE(reply->data.find("TUQ02 HOST DISCONNECTED (TESTSYS1)"), std::string::npos) << reply->data;
    EXPECT_EQ(reply->header.substr(4), Tuq12("c1"));
    EXPECT_TRUE(LogHas("   CLIENT: Server has apparently disconnected"));
}

TEST_F(RelayTest, DeadlineAnswersTuq06AndTheLateResponseIsDropped)
{
    SetOutboundOverallTimeout(1);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    SwitchPeer peer([released](SwitchConnection& c, const UpstreamRequest& r) {
        released.wait_for(std::chrono::seconds(30));
        c.Reply(r.sequence, "late");
    });
    UseHost(1, "127.0.0.1", peer.port(), 0);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::TuqHeader, false);
    client.SendClaim(Tuq12("slow"), SampleClaim());
    auto reply = client.ReadReply();
    release.set_value();
    ASSERT_TRUE(reply);
    EXPECT_NE(reply->data.find("TUQ06 PROCESSOR TIMED OUT (TESTSYS1)"), std::string::npos);
    EXPECT_TRUE(AwaitLog("Possible timeout."));
}

TEST_F(RelayTest, BadResponseLengthAnswersTuq08)
{
    SwitchPeer peer([](SwitchConnection& c, const UpstreamRequest& r) {
        c.SendRaw(BuildLengthHeader16(r.sequence, kMaxFrameData + 1));
    });
    UseHost(1, "127.0.0.1", peer.port(), 0);
    SetInboundSocketFormat(3);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::TuqHeader, true);
    client.SendClaim(Tuq12("len"), SampleClaim());
    auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_NE(reply->data.find("TUQ08 HOST RESPONSE ERROR (TESTSYS1)"), std::string::npos);
    EXPECT_TRUE(LogHas("   CLIENT: BAD LENGTH on mxClientRead()"));
}

TEST_F(RelayTest, UnmatchedResponseChangesNothing)
{
    SwitchPeer peer([](SwitchConnection& c, const UpstreamRequest& r) {
        c.Reply("999999999   ", "stray");
        c.Reply(r.sequence, "real");
    });
    UseHost(1, "127.0.0.1", peer.port(), 0);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::TuqHeader, false);
    client.SendClaim(Tuq12("m"), SampleClaim());
    auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->data, "real");
    EXPECT_TRUE(LogHas("   CLIENT Read unmatched SEQNO(99999999) Possible timeout."));
}

TEST_F(RelayTest, MarkerFileAnswersTuq07UntilRemoved)
{
    SwitchPeer peer(SwitchPeer::Echo());
    UseHost(1, "127.0.0.1", peer.port(), 0);
    QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(home.path())));
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());

    std::ofstream("mxtuq.down") << "";
    {
        InboundClient client(inboundPort, InboundFraming::TuqHeader, false);
        client.SendClaim(Tuq12("down"), SampleClaim());
        auto reply = client.ReadReply();
        ASSERT_TRUE(reply);
        EXPECT_NE(reply->data.find("TUQ07 PROCESSOR UNAVAILABLE (TESTSYS1)"), std::string::npos);
        EXPECT_TRUE(client.WaitClosed());
    }
    std::remove("mxtuq.down");
    InboundClient client(inboundPort, InboundFraming::TuqHeader, false);
    client.SendClaim(Tuq12("up"), SampleClaim());
    auto reply = client.ReadReply();
    QDir::setCurrent(previous);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->data, "RSP:" + SampleClaim());
    EXPECT_TRUE(LogHas("    SERVICE IS DOWN(mxtuq.down)"));
}

TEST_F(RelayTest, OnDemandConnectsPerClaimAndDisconnectsWhenIdle)
{
    SwitchPeer peer(SwitchPeer::Echo());
    UseHost(1, "127.0.0.1", peer.port(), 0);
    SetPersistentOutboundConnection(false);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    EXPECT_EQ(peer.connections(), 0);

    InboundClient client(inboundPort, InboundFraming::TuqHeader, false);
    for (int round = 1; round <= 2; ++round) {
        client.SendClaim(Tuq12("od"), SampleClaim());
        ASSERT_TRUE(client.ReadReply());
        EXPECT_TRUE(peer.WaitForDisconnects(round));
    }
    EXPECT_EQ(peer.connections(), 2);
    EXPECT_TRUE(AwaitLog(" ClientDisconnects"));
}

TEST_F(RelayTest, OnDemandWithoutReachableHostAnswersTuq07)
{
    UseHost(1, "127.0.0.1", ClosedPort(), ClosedPort());
    SetPersistentOutboundConnection(false);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::TuqHeader, false);
    client.SendClaim(Tuq12("none"), SampleClaim());
    auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_NE(reply->data.find("TUQ07 PROCESSOR UNAVAILABLE (TESTSYS1)"), std::string::npos);
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_TRUE(LogHas(" Send HostUnavailable to Client("));
}

TEST_F(RelayTest, ErrorReplyKeepsTheMxSockHeaderAndIsEncrypted)
{
    UseHost(1, "127.0.0.1", ClosedPort(), 0);
    SetPersistentOutboundConnection(false);
    SetInboundSocketFormat(1);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::MxSock, true);
    std::string frame = client.Frame("00001234", SampleClaim());
    frame.replace(0, 10, "01ABCDEFGH");
    client.SendRaw(frame);
    auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->header.substr(0, 18), "01ABCDEFGH00001234");
    EXPECT_EQ(reply->header.substr(18), FormatText("%.6zu", reply->data.size()));
    EXPECT_NE(reply->data.find("TUQ07 PROCESSOR UNAVAILABLE (TESTSYS1)"), std::string::npos);
}

TEST_F(RelayTest, HostAndPortFailover)
{
    SwitchPeer peer(SwitchPeer::Echo());
    int closedA = ClosedPort();
    UseHost(1, "no-such-switch.invalid", 6101, 6102);
    UseHost(2, "127.0.0.1", closedA, peer.port());
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    relay.Stop();
    ASSERT_TRUE(relay.WaitEnded());
    std::string log = NetLog();
    const std::vector<std::string> lines = {
        "mxClientConnect() Failed Host1(no-such-switch.invalid), It is unreachable",
        "mxClientConnect() Ignore Port1B(no-such-switch.invalid)",
        FormatText("mxClientConnect() Failed PortA(%d) on Host2(127.0.0.1)", closedA),
        FormatText("mxTryConnect() Success for(%d)(127.0.0.1)", peer.port()),
    };
    size_t at = 0;
    for (const std::string& line : lines) {
        size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << line;
        at = found;
    }
}

TEST_F(RelayTest, NoReachableHostKeepsThePersistentRelayFromStarting)
{
    SetEnableNetwork1(false);
    SetEnableNetwork2(false);
    UseHost(3, "127.0.0.1", ClosedPort(), ClosedPort());
    RelayRun relay;
    EXPECT_FALSE(relay.WaitReady());
    std::string log = NetLog();
    for (const char* line : {"mxClientConnect() Disregard Host1", "mxClientConnect() Disregard Host2",
                             "on Host3(127.0.0.1)", "mxClientConnect() Failed Completely",
                             "mxOpen():  Cannot connect to an Tuq host.", "Maximum tries(1) attempted.  Exiting."})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_NE(log.find("Failed PortB("), std::string::npos);
}

TEST_F(RelayTest, PortAZeroIsSkipped)
{
    SwitchPeer peer(SwitchPeer::Echo());
    UseHost(1, "127.0.0.1", 0, peer.port());
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    EXPECT_TRUE(LogHas("mxClientConnect() Ignore Port1A(127.0.0.1)"));
}

TEST_F(RelayTest, InboundPortInUseEndsTheThread)
{
    int holder = -1;
    ASSERT_EQ(mxOpenListenSock("127.0.0.1", inboundPort, nullptr, &holder, nullptr), 0);
    SwitchPeer peer(SwitchPeer::Echo());
    UseHost(1, "127.0.0.1", peer.port(), 0);
    RelayRun relay;
    EXPECT_FALSE(relay.WaitReady());
    mxCloseSocket(holder, nullptr);
    EXPECT_TRUE(LogHas("mxOpen() Error(-7) returned from mxOpenListenSock()."));
    EXPECT_TRUE(LogHas("Maximum tries(1) attempted.  Exiting."));
}

TEST_F(RelayTest, StopRequestEndsAWaitWithoutLimit)
{
    SetInboundIdleTimeout(0);
    SetOutboundOverallTimeout(0);
    SwitchPeer peer(SwitchPeer::Echo());
    UseHost(1, "127.0.0.1", peer.port(), 0);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::TuqHeader, false);
    ASSERT_TRUE(AwaitLog("Accepted new connection("));
    relay.Stop();
    EXPECT_TRUE(relay.WaitEnded(10));
    EXPECT_TRUE(LogHas("________Normal Exit From mxtuq_svr()_____________________"));
    EXPECT_TRUE(client.WaitClosed());
}

TEST_F(RelayTest, IdleConnectionIsClosed)
{
    SetInboundIdleTimeout(1);
    SwitchPeer peer(SwitchPeer::Echo());
    UseHost(1, "127.0.0.1", peer.port(), 0);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::TuqHeader, false);
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_TRUE(AwaitLog("Socket Timeout, State(0)"));
}

TEST_F(RelayTest, ModemHandOverWhenNoHostIsConfigured)
{
    SetConnectViaTapi(true);
    SetInboundSocketFormat(1);
    std::string handedOver;
    RelayCallbacks callbacks;
    callbacks.OnSendViaTapi = [&handedOver](const std::string& request, std::string& response) {
        handedOver = request;
        response = "modem response";
        return true;
    };
    RelayRun relay(callbacks);
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::MxSock, true);
    client.SendClaim("00000042", SampleClaim());
    auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->data, "modem response");
    EXPECT_EQ(reply->header.substr(10, 8), "00000042");
    EXPECT_EQ(handedOver, SampleClaim());
}

TEST_F(RelayTest, FailedModemHandOverAnswersTuq07)
{
    SetConnectViaTapi(true);
    RelayCallbacks callbacks;
    callbacks.OnSendViaTapi = [](const std::string&, std::string&) { return false; };
    RelayRun relay(callbacks);
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::TuqHeader, false);
    client.SendClaim(Tuq12("tapi"), SampleClaim());
    auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_NE(reply->data.find("TUQ07 PROCESSOR UNAVAILABLE (TESTSYS1)"), std::string::npos);
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_TRUE(LogHas(" Send HostUnavailable to Client("));
}

TEST_F(RelayTest, DialUpFailureFailsTheConnectSeries)
{
    SwitchPeer peer(SwitchPeer::Echo());
    UseHost(1, "127.0.0.1", peer.port(), 0);
    RelayCallbacks callbacks;
    callbacks.OnEstablishDialUpConnection = [] { throw std::runtime_error("no modem line"); };
    RelayRun relay(callbacks);
    EXPECT_FALSE(relay.WaitReady());
    EXPECT_TRUE(LogHas("EstablishDialUpConnection failed with Exception 'no modem line'"));
    EXPECT_EQ(peer.connections(), 0);
}

namespace {

enum class EarlierClaimEnd { SwitchCloses, DeadlinePasses };

struct HalfReadCase {
    const char* name;
    EarlierClaimEnd end;
    const char* reply;
};

class HalfReadClaim : public RelayTest, public ::testing::WithParamInterface<HalfReadCase> {};

} // namespace

TEST_P(HalfReadClaim, SurvivesTheErrorReplyToAnEarlierClaim)
{
    const HalfReadCase c = GetParam();
    Gate closeNow;
    int seen = 0;
    SwitchPeer peer([&](SwitchConnection& connection, const UpstreamRequest& r) {
        if (++seen > 1) {
            connection.Reply(r.sequence, "RSP:" + r.data);
        } else if (c.end == EarlierClaimEnd::SwitchCloses) {
            closeNow.Wait();
            connection.Close();
        }
    });
    UseHost(1, "127.0.0.1", peer.port(), 0);
    SetOutboundOverallTimeout(c.end == EarlierClaimEnd::DeadlinePasses ? 3 : 60);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient client(inboundPort, InboundFraming::TuqHeader, false);

    client.SendClaim(Tuq12("first"), SampleClaim("first"));
    ASSERT_TRUE(peer.WaitForRequests(1));
    // Deadlines count in whole seconds: the next claim must start in a later
    // second than the first, or both would time out together.
    time_t firstStarted = time(nullptr);
    ASSERT_TRUE(PollUntil([&] { return time(nullptr) > firstStarted; }));
    std::string next = client.Frame(Tuq12("next"), SampleClaim("next"));
    client.SendRaw(next.substr(0, 20));
    ASSERT_TRUE(AwaitLog("Data - got 4 of"));
    closeNow.Open();

    auto first = client.ReadReply();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->header.substr(4), Tuq12("first"));
    EXPECT_NE(first->data.find(c.reply), std::string::npos) << first->data;
    client.SendRaw(next.substr(20));
    auto second = client.ReadReply();
    ASSERT_TRUE(second) << NetLog();
    EXPECT_EQ(second->header.substr(4), Tuq12("next"));
    EXPECT_EQ(second->data, "RSP:" + SampleClaim("next"));
    EXPECT_FALSE(LogHas("Claim too long"));
}

INSTANTIATE_TEST_SUITE_P(ErrorReplies, HalfReadClaim,
                         ::testing::Values(HalfReadCase{"Tuq02", EarlierClaimEnd::SwitchCloses, "TUQ02 HOST DISCONNECTED"},
                                           HalfReadCase{"Tuq06", EarlierClaimEnd::DeadlinePasses,
                                                        "TUQ06 PROCESSOR TIMED OUT"}),
                         [](const ::testing::TestParamInfo<HalfReadCase>& info) { return info.param.name; });

namespace {

enum class UpstreamFault { SwitchCloses, BadLength, ReadFails, WriteFails };

// What every claim pending on the upstream connection receives when it
// fails, and what the relay logs. In every case the clients stay connected
// and the relay connects to the switch again.
struct UpstreamFaultCase {
    const char* name;
    UpstreamFault fault;
    const char* pendingReply;  // to each claim that awaits the switch
    const char* writtenReply;  // to the claim being written, when writing failed
    const char* logLine;
};

class UpstreamFaults : public RelayTest, public ::testing::WithParamInterface<UpstreamFaultCase> {};

// Reads count replies and files them by client sequence field.
std::map<std::string, std::string> RepliesBySequence(InboundClient& client, size_t count)
{
    std::map<std::string, std::string> replies;
    for (size_t i = 0; i < count; ++i) {
        auto reply = client.ReadReply();
        if (!reply)
            break;
        replies[reply->header.substr(4)] = reply->data;
    }
    return replies;
}

} // namespace

TEST_P(UpstreamFaults, PendingClaimsAreAnsweredAndTheRelayReconnects)
{
    const UpstreamFaultCase c = GetParam();
    Gate readAgain;
    int seen = 0;
    SwitchPeerOptions options;
    options.narrow = true;
    SwitchPeer peer([&](SwitchConnection& connection, const UpstreamRequest& r) {
        ++seen;
        if (seen > 3)
            connection.Reply(r.sequence, "RSP:" + r.data);
        if (seen != 3)
            return;
        switch (c.fault) {
        case UpstreamFault::SwitchCloses: connection.Close(); break;
        case UpstreamFault::BadLength: connection.SendRaw(BuildLengthHeader16(r.sequence, kMaxFrameData + 1)); break;
        case UpstreamFault::ReadFails: connection.Reset(); break;
        case UpstreamFault::WriteFails: readAgain.Wait(); break;  // stops reading meanwhile
        }
    }, options);
    UseHost(1, "127.0.0.1", peer.port(), 0);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());

    // Three claims on two connections await the switch when it fails.
    InboundClient one(inboundPort, InboundFraming::TuqHeader, false);
    InboundClient two(inboundPort, InboundFraming::TuqHeader, false);
    one.SendClaim(Tuq12("one-a"), SampleClaim("one-a"));
    ASSERT_TRUE(peer.WaitForRequests(1));
    two.SendClaim(Tuq12("two-a"), SampleClaim("two-a"));
    ASSERT_TRUE(peer.WaitForRequests(2));
    one.SendClaim(Tuq12("one-b"), SampleClaim("one-b"));
    ASSERT_TRUE(peer.WaitForRequests(3));

    // A switch that no longer reads fills up: claims go out until one
    // cannot be written. Each is sent once the relay has finished with the
    // one before (its next wait begins after the write).
    std::vector<std::string> fillers;
    auto writeFinished = [this](size_t writes) {
        return PollUntil([&] {
            std::string log = NetLog();
            size_t at = 0;
            for (size_t n = 0; n < writes && at != std::string::npos; ++n)
                at = log.find("mxClientWrite() Length(", n == 0 ? 0 : at + 1);
            return at != std::string::npos && log.find("Calling mxSelect()", at) != std::string::npos;
        });
    };
    if (c.fault == UpstreamFault::WriteFails) {
        while (!LogHas(c.logLine) && fillers.size() < 100) {
            fillers.push_back("fill-" + std::to_string(fillers.size()));
            two.SendClaim(Tuq12(fillers.back()), LargestClaim(fillers.back()));
            ASSERT_TRUE(writeFinished(3 + fillers.size()));
        }
    }
    ASSERT_TRUE(AwaitLog(c.logLine)) << NetLog();

    auto repliesOne = RepliesBySequence(one, 2);
    auto repliesTwo = RepliesBySequence(two, 1 + fillers.size());
    ASSERT_EQ(repliesOne.size(), 2u);
    ASSERT_EQ(repliesTwo.size(), 1 + fillers.size());
    for (const auto& [sequence, data] : repliesOne)
        EXPECT_NE(data.find(c.pendingReply), std::string::npos) << sequence << ": " << data;
    for (const auto& [sequence, data] : repliesTwo) {
        bool written = !fillers.empty() && sequence == Tuq12(fillers.back());
        EXPECT_NE(data.find(written ? c.writtenReply : c.pendingReply), std::string::npos)
            << sequence << ": " << data;
    }

    // Both clients are still served, over a new upstream connection.
    readAgain.Open();
    for (InboundClient* client : {&one, &two}) {
        client->SendClaim(Tuq12("after"), SampleClaim("after"));
        auto reply = client->ReadReply();
        ASSERT_TRUE(reply) << NetLog();
        EXPECT_EQ(reply->data, "RSP:" + SampleClaim("after"));
    }
    EXPECT_TRUE(peer.WaitForConnections(2));
}

INSTANTIATE_TEST_SUITE_P(
    AllFaults, UpstreamFaults,
    ::testing::Values(
        UpstreamFaultCase{"SwitchCloses", UpstreamFault::SwitchCloses, "TUQ02 HOST DISCONNECTED", "",
                          "   CLIENT: Server has apparently disconnected"},
        UpstreamFaultCase{"BadLength", UpstreamFault::BadLength, "TUQ08 HOST RESPONSE ERROR", "",
                          "   CLIENT: BAD LENGTH on mxClientRead()"},
        UpstreamFaultCase{"ReadFails", UpstreamFault::ReadFails, "TUQ08 HOST RESPONSE ERROR", "",
                          "   CLIENT: mxClientRead Error("},
        UpstreamFaultCase{"WriteFails", UpstreamFault::WriteFails, "TUQ02 HOST DISCONNECTED",
                          "TUQ07 PROCESSOR UNAVAILABLE", " Lost Client Connection("}),
    [](const ::testing::TestParamInfo<UpstreamFaultCase>& info) { return info.param.name; });

TEST_F(RelayTest, IdleDeadlineCountsFromTheLastResponse)
{
    SetInboundIdleTimeout(2);
    Gate answer;
    SwitchPeer peer([&answer](SwitchConnection& connection, const UpstreamRequest& r) {
        answer.Wait();
        connection.Reply(r.sequence, "RSP:" + r.data);
    });
    UseHost(1, "127.0.0.1", peer.port(), 0);
    RelayRun relay;
    ASSERT_TRUE(relay.WaitReady());
    InboundClient busy(inboundPort, InboundFraming::TuqHeader, false);
    busy.SendClaim(Tuq12("slow"), SampleClaim("slow"));
    ASSERT_TRUE(peer.WaitForRequests(1));
    // A connection accepted later than the busy one shows when the idle time
    // since the busy one's accept has passed.
    InboundClient idle(inboundPort, InboundFraming::TuqHeader, false);
    ASSERT_TRUE(idle.WaitClosed());
    answer.Open();

    ASSERT_TRUE(busy.ReadReply());
    busy.SendClaim(Tuq12("next"), SampleClaim("next"));
    auto reply = busy.ReadReply();
    ASSERT_TRUE(reply) << NetLog();
    EXPECT_EQ(reply->data, "RSP:" + SampleClaim("next"));
    EXPECT_TRUE(busy.WaitClosed());
}
