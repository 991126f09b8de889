// tuq-switch-sim run as a process and driven over loopback TCP.
#include "sim_support.h"

#include "relay/frames.h"
#include "base/twofish.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>

namespace {

using namespace sim;

const std::string paidHeader = "51B11A011234567893     20261209";
const std::string paidStatus = "\x1c" "AM21" "\x1c" "ANP";

class SwitchSimTest : public ::testing::Test {
protected:
    // Starts the simulator with args and connects one client to it.
    void start(QStringList args)
    {
        args << "--port" << "0";
        sim_ = std::make_unique<ToolProcess>("tuq-switch-sim", args);
        std::uint16_t port = sim_->waitForListening();
        ASSERT_NE(port, 0) << sim_->errors().toStdString();
        fd_ = ConnectLoopback(port);
        ASSERT_GE(fd_, 0);
    }

    void TearDown() override
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    void sendClaim(const std::string& sequence, const std::string& rx)
    {
        ASSERT_TRUE(SendAll(fd_, EncodeUpstreamFrame(sequence, ClaimWithPrescription(rx))));
    }

    // The next answer must be the paid answer to the claim with sequence and rx.
    void expectPaidAnswer(const std::string& sequence, const std::string& rx)
    {
        UpstreamFrame answer;
        ASSERT_TRUE(ReceiveUpstreamFrame(fd_, answer));
        EXPECT_EQ(answer.sequence, sequence);
        EXPECT_EQ(answer.data.substr(0, paidHeader.size()), paidHeader);
        EXPECT_NE(answer.data.find(paidStatus), std::string::npos);
        EXPECT_NE(answer.data.find("\x1c" "D2" + rx), std::string::npos);
    }

    std::unique_ptr<ToolProcess> sim_;
    int fd_ = -1;
};

class SwitchSimCipherTest : public SwitchSimTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SwitchSimCipherTest, AnswersEveryClaimWithAPaidResponse)
{
    const bool twofish = GetParam();
    start(twofish ? QStringList{"--twofish"} : QStringList{});
    auto encoder = CreateTwofishContext(twofish ? TwofishBlocks : TwofishNone);
    auto decoder = CreateTwofishContext(twofish ? TwofishBlocks : TwofishNone);

    // Two claims, so that the cipher streams must stay in step across messages.
    for (const std::string rx : {"0000101", "0000102"}) {
        std::string claim = ClaimWithPrescription(rx);
        EncryptBuffer(encoder.get(), claim.data(), static_cast<int>(claim.size()));
        const std::string sequence = "000000" + rx.substr(4) + "000";
        ASSERT_TRUE(SendAll(fd_, EncodeUpstreamFrame(sequence, claim)));

        UpstreamFrame answer;
        ASSERT_TRUE(ReceiveUpstreamFrame(fd_, answer));
        EXPECT_EQ(answer.sequence, sequence);
        EXPECT_EQ(answer.lengthField, 16 + answer.data.size());
        std::string plain = answer.data;
        DecryptBuffer(decoder.get(), plain.data(), static_cast<int>(plain.size()));
        EXPECT_EQ(twofish, plain != answer.data);
        EXPECT_EQ(plain.substr(0, paidHeader.size()), paidHeader);
        EXPECT_NE(plain.find(paidStatus), std::string::npos);
        EXPECT_NE(plain.find("\x1c" "AM22" "\x1c" "EM1" "\x1c" "D2" + rx), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(PlainAndTwofish, SwitchSimCipherTest, ::testing::Bool());

TEST_F(SwitchSimTest, DelayHoldsTheAnswerBack)
{
    start({"--delay", "400"});
    auto sent = std::chrono::steady_clock::now();
    sendClaim("000000001   ", "0000001");
    expectPaidAnswer("000000001   ", "0000001");
    EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(400));
}

TEST_F(SwitchSimTest, NoAnswerFromTheChosenClaimOn)
{
    start({"--no-answer", "--fault-from", "2"});
    sendClaim("000000001   ", "0000001");
    expectPaidAnswer("000000001   ", "0000001");
    sendClaim("000000002   ", "0000002");
    // Answers go out before the next read, so the end of our stream makes the
    // switch close without an answer in between.
    ::shutdown(fd_, SHUT_WR);
    EXPECT_TRUE(ReceivesEndOfStream(fd_));
}

TEST_F(SwitchSimTest, CloseEndsTheConnectionInsteadOfAnswering)
{
    start({"--close", "--fault-from", "2"});
    sendClaim("000000001   ", "0000001");
    expectPaidAnswer("000000001   ", "0000001");
    sendClaim("000000002   ", "0000002");
    EXPECT_TRUE(ReceivesEndOfStream(fd_));
}

TEST_F(SwitchSimTest, BadLengthFieldPrecedesTheTrueAnswer)
{
    start({"--bad-length", "8209"});
    sendClaim("000000001   ", "0000001");
    std::string header;
    ASSERT_TRUE(ReceiveExact(fd_, kUpstreamHeaderSize, header));
    EXPECT_EQ(ReadBigEndian32(header.data()), 8209u);
    EXPECT_EQ(header.substr(4), "000000001   ");
    std::string start;
    ASSERT_TRUE(ReceiveExact(fd_, paidHeader.size(), start));
    EXPECT_EQ(start, paidHeader);
}

TEST_F(SwitchSimTest, ReverseAnswersABatchLastFirst)
{
    start({"--reverse", "3"});
    for (const char* n : {"1", "2", "3"})
        sendClaim(std::string("00000000") + n + "   ", std::string("000000") + n);
    for (const char* n : {"3", "2", "1"})
        expectPaidAnswer(std::string("00000000") + n + "   ", std::string("000000") + n);
}

TEST_F(SwitchSimTest, BadClaimLengthClosesTheConnection)
{
    start({});
    std::string frame = EncodeUpstreamFrame("000000001   ", "");
    WriteBigEndian32(frame.data(), 16 + 8193);
    ASSERT_TRUE(SendAll(fd_, frame));
    EXPECT_TRUE(ReceivesEndOfStream(fd_));
}

TEST_F(SwitchSimTest, SigtermStopsCleanlyWithConnectionsOpen)
{
    start({});
    sendClaim("000000001   ", "0000001");
    expectPaidAnswer("000000001   ", "0000001");
    EXPECT_EQ(sim_->terminate(), 0);
    EXPECT_TRUE(ReceivesEndOfStream(fd_));
}

TEST(SwitchSimOptions, WrongCommandLinesAreRefused)
{
    const QStringList wrong[] = {
        {"--tls", "--port", "0"},
        {"--no-answer", "--close", "--port", "0"},
        {"--delay", "soon", "--port", "0"},
        {"--tls-max", "2.0", "--port", "0"},
    };
    for (const QStringList& args : wrong) {
        ToolProcess sim("tuq-switch-sim", args);
        EXPECT_EQ(sim.waitForExit(), 2) << args.join(' ').toStdString();
        EXPECT_FALSE(sim.errors().isEmpty());
    }
}

}  // namespace
