// pharmacy-sim run as a process against the switch simulator and against a
// small MxSock peer.
#include "sim_support.h"

#include "relay/frames.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <thread>

namespace {

using namespace sim;

// Serves one connection in the MxSock framing: every reply repeats the
// request header (with the sequence field changed when corruptSequence) and
// carries the claim without its 6-byte BIN, which keeps the claim's
// version, transaction code and prescription number in front of the peer.
class MxSockPeer {
public:
    explicit MxSockPeer(bool corruptSequence) : corruptSequence_(corruptSequence)
    {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), size);
        ::listen(listenFd_, 4);
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }

    ~MxSockPeer()
    {
        ::shutdown(listenFd_, SHUT_RDWR);
        thread_.join();
        ::close(listenFd_);
    }

    std::uint16_t port() const { return port_; }

private:
    void serve()
    {
        int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0)
            return;
        std::string header;
        std::string claim;
        while (ReceiveExact(fd, kClaimHeaderSize, header)) {
            long length = ParseClaimHeader(header.data()).bodyLength;
            if (length < 6 || !ReceiveExact(fd, static_cast<size_t>(length), claim))
                break;
            std::string reply = claim.substr(6);
            std::string sequence = header.substr(10, kClaimSequenceSize);
            if (corruptSequence_)
                sequence[7] = sequence[7] == '9' ? '0' : sequence[7] + 1;
            WriteClaimReplyHeader(header.data(), sequence.data(), static_cast<int>(reply.size()));
            if (!SendAll(fd, header + reply))
                break;
        }
        ::close(fd);
    }

    bool corruptSequence_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

TEST(PharmacySim, LoadsTheSwitchWithTwofishClaimsAndChecksEveryReply)
{
    ToolProcess sim("tuq-switch-sim", {"--port", "0", "--twofish"});
    std::uint16_t port = sim.waitForListening();
    ASSERT_NE(port, 0);
    ToolProcess pharmacy("pharmacy-sim", {"--port", QString::number(port), "--framing", "tuq", "--twofish",
                                          "--connections", "3", "--claims", "4", "--expect-paid"});
    EXPECT_EQ(pharmacy.waitForExit(), 0) << pharmacy.errors().toStdString();
    EXPECT_TRUE(pharmacy.output().startsWith("claims=12 ok=12 failed=0 ")) << pharmacy.output().toStdString();
    EXPECT_TRUE(pharmacy.output().contains(" p99=")) << pharmacy.output().toStdString();
}

// Claims kept in flight are matched to replies that come last first.
TEST(PharmacySim, OutstandingClaimsAreMatchedToRepliesInAnyOrder)
{
    ToolProcess sim("tuq-switch-sim", {"--port", "0", "--reverse", "4"});
    std::uint16_t port = sim.waitForListening();
    ASSERT_NE(port, 0);
    ToolProcess pharmacy("pharmacy-sim", {"--port", QString::number(port), "--framing", "tuq", "--outstanding",
                                          "4", "--connections", "2", "--claims", "8", "--expect-paid"});
    EXPECT_EQ(pharmacy.waitForExit(), 0) << pharmacy.errors().toStdString();
    EXPECT_TRUE(pharmacy.output().startsWith("claims=16 ok=16 failed=0 ")) << pharmacy.output().toStdString();
}

TEST(PharmacySim, MxSockRepliesMustRepeatTheSequenceField)
{
    for (bool corrupt : {false, true}) {
        MxSockPeer peer(corrupt);
        ToolProcess pharmacy("pharmacy-sim", {"--port", QString::number(peer.port()), "--framing", "mxsock",
                                              "--claims", "3"});
        EXPECT_EQ(pharmacy.waitForExit(), corrupt ? 1 : 0) << pharmacy.errors().toStdString();
        EXPECT_EQ(pharmacy.errors().contains("sequence field"), corrupt) << pharmacy.errors().toStdString();
    }
}

TEST(PharmacySim, WrongOrMissingRepliesFailTheRun)
{
    struct Case {
        QStringList switchArgs;
        const char* error;
    };
    const Case cases[] = {
        {{"--close", "--fault-from", "3"}, "connection closed"},
        {{"--no-answer", "--fault-from", "3"}, "no reply within 1 s"},
        {{"--bad-length", "8209", "--fault-from", "3"}, "declares 8193 data bytes"},
    };
    for (const Case& c : cases) {
        ToolProcess sim("tuq-switch-sim", QStringList{"--port", "0"} + c.switchArgs);
        std::uint16_t port = sim.waitForListening();
        ASSERT_NE(port, 0);
        ToolProcess pharmacy("pharmacy-sim", {"--port", QString::number(port), "--framing", "tuq",
                                              "--connections", "2", "--claims", "4", "--timeout", "1"});
        EXPECT_EQ(pharmacy.waitForExit(), 1) << c.error;
        EXPECT_TRUE(pharmacy.output().startsWith("claims=8 ok=4 failed=4 ")) << pharmacy.output().toStdString();
        EXPECT_TRUE(pharmacy.errors().contains(c.error)) << pharmacy.errors().toStdString();
    }
}

}  // namespace
