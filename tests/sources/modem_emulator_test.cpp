#include "serial_bench.h"

#include "base/general_log.h"
#include "config/settings.h"

#include <ostream>
#include <vector>

namespace {

const std::string ENQ = "\x05", EOT = "\x04", ACK = "\x06", NAK = "\x15";

struct DialogueCase {
    std::string label;
    int profile = 0;
    bool lrc = false;
    bool visa2 = false;
    std::vector<Step> steps;
    int claimsSent = 1;
};

void PrintTo(const DialogueCase& c, std::ostream* out)
{
    *out << c.label;
}

class DialogueTest : public SerialBench, public ::testing::WithParamInterface<DialogueCase> {};

// Every byte the modem says, in order, and nothing in between: each case
// ends with a command whose answer must come next.
TEST_P(DialogueTest, AnswersTheProfileByteForByte)
{
    const DialogueCase& c = GetParam();
    SetLrc(c.lrc);
    SetVisa2(c.visa2);
    Open(c.profile);
    Run(c.steps);
    EXPECT_EQ(static_cast<int>(host.sentClaims.size()), c.claimsSent);
}

const std::string kClaim = "\x02" "CLAIM\x03";
const std::string kResponse = "\x02OK\x03";
const std::string kNoCarrier = "NO CARRIER\r\n+++";
const std::string kHccNoCarrier = "\r\nNO CARRIER\r\n";

INSTANTIATE_TEST_SUITE_P(
    Profiles, DialogueTest,
    ::testing::Values(
        DialogueCase{"Profile0ExampleWithLrc", 0, true, false,
                     {{"ATZ\r", "ATZ\r\r\nOK\r\n"},
                      {"ATE0V1\r", "\r\nOK\r\n"},
                      {"ATDT5550100\r", "\r\nCONNECT 19200\r\n" + ENQ},
                      {WithLrc(kClaim), WithLrc(kResponse)},
                      {ACK, EOT + kNoCarrier},
                      {"AT\r", "\r\nOK\r\n"}}},
        DialogueCase{"Profile1NumericCodes", 1, false, false,
                     {{"ATDT5550100\r", "9\r" + ENQ},
                      {kClaim, kResponse},
                      {ACK, EOT + "3\r"},
                      {"ATE1\r", "ATE1\r\r\n"}}},
        DialogueCase{"Profile2TwoEnqs", 2, false, false,
                     {{"ATDT1\r", "ATDT1\r\r\nCONNECT 19200\r\n" + ENQ + ENQ},
                      {kClaim, kResponse},
                      {ACK, EOT + kHccNoCarrier},
                      {"AT\r", "AT\r\r\nOK\r\n"}}},
        DialogueCase{"Profile3SpeedAndNone", 3, false, false,
                     {{"ATE0\r", "\r\nOK\r\n"},
                      {"ATDT1\r", "\r\nCONNECT 19200/NONE\r\n" + ENQ},
                      {kClaim, kResponse},
                      {ACK, EOT + kNoCarrier},
                      {"AT\r", "\r\nOK\r\n"}}},
        DialogueCase{"Profile4NoEc", 4, false, false,
                     {{"ATDT1\r", "ATDT1\r\r\n\r\nCONNECT 2400 NoEC\r\n" + ENQ},
                      {kClaim, kResponse},
                      {ACK, EOT + kNoCarrier},
                      {"AT\r", "AT\r\r\nOK\r\n"}}},
        DialogueCase{"Profile5NoEchoForDial", 5, false, false,
                     {{"ATE0\r", "\r\nOK\r\n"},
                      {"ATDT1\r", "\r\nCONNECT 2400\r\n" + ENQ},
                      {kClaim, kResponse},
                      {ACK, EOT + kNoCarrier},
                      {"AT\r", "\r\nOK\r\n"}}},
        DialogueCase{"Profile6AcceptsV", 6, false, false,
                     {{"ATDT1\r", "ATDT1\r\r\nCONNECT 19200\r\n" + ENQ},
                      {kClaim, kResponse},
                      {"v", EOT + kNoCarrier},
                      {"AT\r", "AT\r\r\nOK\r\n"}}},
        DialogueCase{"Profile7TwoEnqsAndHccReport", 7, false, false,
                     {{"ATDT1\r", "ATDT1\r\r\nCONNECT 19200\r\n" + ENQ + ENQ},
                      {kClaim, kResponse},
                      {ACK, EOT + kHccNoCarrier},
                      {"AT\r", "AT\r\r\nOK\r\n"}}},
        DialogueCase{"LowerCaseDial", 0, false, false,
                     {{"atdt5550100\r", "atdt5550100\r\r\nCONNECT 19200\r\n" + ENQ},
                      {kClaim, kResponse},
                      {ACK, EOT + kNoCarrier},
                      {"at\r", "at\r\r\nOK\r\n"}}},
        DialogueCase{"DialWithSemicolonIsOrdinary", 0, false, false,
                     {{"ATDT;\r", "ATDT;\r\r\nOK\r\n"}, {"ATH1\r", "ATH1\r\r\nOK\r\n"}}, 0},
        DialogueCase{"LrcMismatchAndBitSevenAreRefused", 0, true, false,
                     {{"ATDT1\r", "ATDT1\r\r\nCONNECT 19200\r\n" + ENQ},
                      {kClaim + "\x01", NAK},
                      {kClaim + std::string(1, static_cast<char>(WithLrc(kClaim).back() | 0x80)), NAK},
                      {WithLrc(kClaim), WithLrc(kResponse)},
                      {ACK, EOT + kNoCarrier},
                      {"AT\r", "AT\r\r\nOK\r\n"}}},
        DialogueCase{"NakResendsTheSameResponse", 0, false, false,
                     {{"ATDT1\r", "ATDT1\r\r\nCONNECT 19200\r\n" + ENQ},
                      {kClaim, kResponse},
                      {NAK, kResponse},
                      {ACK, EOT + kNoCarrier},
                      {"AT\r", "AT\r\r\nOK\r\n"}}},
        DialogueCase{"Visa2SecondClaimWithoutNewDial", 0, false, true,
                     {{"ATDT1\r", "ATDT1\r\r\nCONNECT 19200\r\n" + ENQ},
                      {kClaim, kResponse},
                      {ACK, ENQ},
                      {"\x02" "SECOND\x03", kResponse},
                      {ACK, ENQ},
                      {"ATH0\r", "ATH0\r\r\nOK\r\n" + kNoCarrier},
                      {"AT\r", "AT\r\r\nOK\r\n"}},
                     2},
        DialogueCase{"EscapeOnlineHangsUp", 0, false, false,
                     {{"ATDT1\r", "ATDT1\r\r\nCONNECT 19200\r\n" + ENQ},
                      {"+++", "+++\r\n" + kNoCarrier},
                      {"AT\r", "AT\r\r\nOK\r\n"}},
                     0},
        DialogueCase{"EotOnlineHangsUp", 7, false, false,
                     {{"ATDT1\r", "ATDT1\r\r\nCONNECT 19200\r\n" + ENQ + ENQ},
                      {EOT, EOT + "\r\n" + kHccNoCarrier},
                      {"AT\r", "AT\r\r\nOK\r\n"}},
                     0},
        DialogueCase{"EscapeInsideAClaimIsData", 0, false, false,
                     {{"ATDT1\r", "ATDT1\r\r\nCONNECT 19200\r\n" + ENQ},
                      {"\x02" "A+++B\x03", kResponse},
                      {ACK, EOT + kNoCarrier},
                      {"AT\r", "AT\r\r\nOK\r\n"}}}),
    [](const ::testing::TestParamInfo<DialogueCase>& info) { return info.param.label; });

TEST_F(SerialBench, FirstHangUpAfterStartIsAnOrdinaryCommand)
{
    Open(0);
    Run({{"ATH0\r", "ATH0\r\r\nOK\r\n"}});
    EXPECT_FALSE(Logged("  Received Modem ATH / ATH0 (Hangup) command from serial port."));
    Run({{"ATH0\r", "ATH0\r\r\nOK\r\n"}});
    EXPECT_TRUE(Logged("  Received Modem ATH / ATH0 (Hangup) command from serial port."));
}

const Step kDial{"ATDT1\r", "ATDT1\r\r\nCONNECT 19200\r\n" + ENQ};
const Step kCommandMode{"AT\r", "AT\r\r\nOK\r\n"};

TEST_F(SerialBench, FailedConnectEndsTheDialWithNoCarrier)
{
    host.connectError = "The relay cannot be reached";
    Open(0);
    Run({{"ATDT1\r", "ATDT1\r\r\n" + kNoCarrier}, kCommandMode});
    EXPECT_TRUE(host.state.failureCounted);
    EXPECT_TRUE(Logged("  Error:  'The relay cannot be reached'"));
}

// The link to the relay is lost mid-claim: no response packet, only EOT and
// the NO CARRIER report, and the modem is back in command mode.
TEST_F(SerialBench, LostLinkToTheRelayGivesEotAndNoCarrier)
{
    host.replies.push_back({-1, "", true});
    Open(0);
    Run({kDial, {kClaim, EOT + kNoCarrier}, kCommandMode});
    EXPECT_TRUE(host.SawStatus("Unable to process serial port claim.  Awaiting next claim..."));
    EXPECT_FALSE(host.portOpen);
}

TEST_F(SerialBench, NoTriesAllowedSendsNoResponse)
{
    SetSPClientRetries(0);
    Open(0);
    Run({kDial, {kClaim, EOT + kNoCarrier}, kCommandMode});
    EXPECT_TRUE(host.SawStatus("Could not deliver response to client in 0 tries."));
}

TEST_F(SerialBench, CancelDuringTheAcknowledgementWaitEndsTheClaim)
{
    Open(0);
    Run({kDial,
         {kClaim, kResponse, [&] { host.state.cancelRequested = true; }},
         {"", EOT + kNoCarrier}});
    EXPECT_TRUE(Logged("Did not receive claim delivery acknowledgement from serial port."));
    EXPECT_FALSE(Logged("Serial Port claim successfully processed."));
}

// Several bytes in one arrival: the acknowledgement behind a stray byte
// counts.
TEST_F(SerialBench, AcknowledgementBehindAStrayByteIsSeen)
{
    Open(0);
    Run({kDial, {kClaim, kResponse}, {"x" + ACK, EOT + kNoCarrier}, kCommandMode});
    EXPECT_TRUE(Logged("Unexpected acknowledgement character (0x78) received from serial port."));
    EXPECT_TRUE(Logged("Serial Port claim successfully processed."));
}

TEST_F(SerialBench, CommandMatcherIsReArmedAfterAnUnfinishedLine)
{
    Open(0);
    Run({{"AT", ""}});
    ASSERT_TRUE(WaitFor([&] { return Logged("ModemAtDataPacketTimeout called"); }, 30));
    Run({kCommandMode});
}

TEST_F(SerialBench, EnqPauseIsLogged)
{
    SetEnqHalfSecDelay(true);
    SetSPEnqPause(0.2);
    Open(0);
    Run({kDial});
    EXPECT_TRUE(Logged("Pausing for 0.2 seconds before sending ENQ to serial port."));
}

// McKesson: RTS gives the pharmacy CTS and DSR at once; carrier (DTR) only
// comes right before the first ENQ.
TEST_F(SerialBench, McKessonLinesFollowTheCall)
{
    Open(4);
    ASSERT_TRUE(WaitFor([&] { return pharmacy.CTS(); }));
    EXPECT_FALSE(pharmacy.DCD());
    Run({{"ATDT1\r", "ATDT1\r\r\n\r\nCONNECT 2400 NoEC\r\n" + ENQ}});
    EXPECT_TRUE(WaitFor([&] { return pharmacy.DCD(); }));
    Run({{kClaim, kResponse}, {ACK, EOT + kNoCarrier}});
    EXPECT_TRUE(WaitFor([&] { return !pharmacy.DCD(); }));
    EXPECT_TRUE(pharmacy.CTS());
}

TEST_F(SerialBench, McKessonAnswersDsrRisingWithOk)
{
    Open(4);
    ASSERT_TRUE(WaitFor([&] { return Logged("DRS and CTS raised; Enabling echo."); }));
    pharmacy.SetDTR(false);
    ASSERT_TRUE(WaitFor([&] { return Logged("Modem Status Change: DeltaDSR(1) DeltaCTS(0) DTR(0) CTS(1)"); }));
    Run({{"", "", [&] { pharmacy.SetDTR(true); }}, {"", "\r\nOK\r\n"}});
}

TEST_F(SerialBench, LetterVIsNoAcknowledgementOutsideZadall)
{
    Open(0);
    Run({kDial, {kClaim, kResponse}, {"v" + ACK, EOT + kNoCarrier}, kCommandMode});
    EXPECT_TRUE(Logged("Unexpected acknowledgement character (0x76) received from serial port."));
}

struct FlowCase {
    int profile;
    bool dtrDsr, rtsCts, softwareTransmit, softwareReceive;
    THWFlowOptions hardware;
    TSWFlowOptions software;
    int bufferFull, bufferResume;
};

TEST_F(SerialBench, PortIsConfiguredFromTheSettingsAndTheProfile)
{
    const int full = 3686, resume = 409;  // the port's own defaults
    for (const FlowCase& c : {
             FlowCase{0, false, false, false, false, 0, swfNone, full, resume},
             FlowCase{0, true, false, false, false, hwfUseDTR | hwfRequireDSR, swfNone, 7372, 819},
             FlowCase{2, true, true, false, false,
                      hwfUseDTR | hwfRequireDSR | hwfUseRTS | hwfRequireCTS, swfNone, 7372, 819},
             FlowCase{4, true, true, false, false, 0, swfNone, full, resume},
             FlowCase{7, false, true, false, true, 0, swfReceive, 6144, 2048},
             FlowCase{0, false, true, true, true, hwfUseRTS | hwfRequireCTS, swfBoth, 6144, 2048},
         }) {
        SCOPED_TRACE(c.profile);
        TApdWinsockPort& port = modem.SourcePort();
        port.SetBufferFull(full);
        port.SetBufferResume(resume);
        SetDtrDsr(c.dtrDsr);
        SetRtsCts(c.rtsCts);
        SetSoftwareTransmit(c.softwareTransmit);
        SetSoftwareReceive(c.softwareReceive);
        SetBaud(9600);
        modem.UseProfile(PharmacyProfile(c.profile));
        modem.ConfigureSourcePort();
        EXPECT_EQ(port.HWFlowOptions(), c.hardware);
        EXPECT_EQ(port.SWFlowOptions(), c.software);
        EXPECT_EQ(port.BufferFull(), c.bufferFull);
        EXPECT_EQ(port.BufferResume(), c.bufferResume);
        EXPECT_EQ(port.Baud(), 9600);
        EXPECT_EQ(port.ComNumber(), 1);
    }
}

TEST_F(SerialBench, ProfileOpensWithItsLineLevels)
{
    struct Levels {
        int profile;
        bool carrier;    // our DTR, the pharmacy's DCD
        bool readiness;  // our RTS, the pharmacy's CTS
    };
    for (Levels c : {Levels{0, true, true}, Levels{4, false, true}, Levels{7, false, true}}) {
        SCOPED_TRACE(c.profile);
        modem.SourcePort().SetDTR(false);
        Open(c.profile);
        EXPECT_TRUE(WaitFor([&] { return pharmacy.DCD() == c.carrier && pharmacy.CTS() == c.readiness; }));
        modem.CloseSourcePort();
        pharmacy.SetOpen(false);
    }
}

}  // namespace
