// The modem route against tuq-switch-sim playing the switch's modem pool on
// the other end of a socat pty pair: claim files from the main window, and
// socket clients of the relay handed over to the main window's call.
#include "app/dispatch_controller.h"
#include "app/headless_view.h"
#include "base/general_log.h"
#include "config/settings.h"
#include "pty_pair.h"
#include "recording_notifier.h"
#include "sim_support.h"
#include "test_env.h"
#include "test_logs.h"
#include "wait_for.h"

#include <QDir>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <ostream>

namespace {

class ModemRouteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ptys.Ready());
        claims = home.path() + "/claims/";
        QDir().mkpath(QString::fromStdString(claims));
        LogInto(home.path() + "/TuqLog.txt", home.path() + "/TuqNetLog.txt");
        SetDataSourceFile();
        SetClaimFileMask(claims + "*.clm");
        SetClaimFileRetryDelay(1);
        SetConnectViaTapi(true);
        SetTapiDeviceName("COM5");
        SetComPortDevice(5, ptys.PathA());
        SetPhoneNumber("5550100");
        SetTapiRetryDelay(0);
        SetEnableNetwork1(false);
        SetInboundHostName("127.0.0.1");
        SetInboundPort(sim::UnusedLoopbackPort());
        SetSystemID("MODEMRT");
    }

    void TearDown() override
    {
        if (controller) {
            controller->CloseDataSource();
            controller->CloseSwitchConnection();
        }
    }

    void StartSwitch(const QStringList& faults = {})
    {
        modemPool = std::make_unique<sim::ToolProcess>(
            "tuq-switch-sim", QStringList{"--modem", QString::fromStdString(ptys.PathB())} + faults);
        ASSERT_TRUE(modemPool->waitForOutput("modem on"));
    }

    void StartController()
    {
        controller = std::make_unique<DispatchController>(view, notifier);
        controller->Switch().Modem().Device().SetTimeouts(5000, 20000, 50);
    }

    void WriteClaim(const std::string& name, const std::string& rx)
    {
        std::ofstream(claims + name, std::ios::binary) << sim::ClaimWithPrescription(rx);
    }

    std::string Log() const { return ReadWholeFile(home.path() + "/TuqLog.txt"); }
    bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }
    int Count(const std::string& text) const
    {
        std::string log = Log();
        int count = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++count;
        return count;
    }

    TestHome home;
    PtyPair ptys;
    std::string claims;
    HeadlessView view;
    RecordingNotifier notifier;
    std::unique_ptr<sim::ToolProcess> modemPool;
    std::unique_ptr<DispatchController> controller;
};

struct AnsweredCase {
    std::string label;
    QStringList faults;
    bool failingNetwork;
    std::string logLine;
};

void PrintTo(const AnsweredCase& c, std::ostream* out)
{
    *out << c.label;
}

class ModemAnswerTest : public ModemRouteTest, public ::testing::WithParamInterface<AnsweredCase> {};

TEST_P(ModemAnswerTest, ClaimFileIsAnsweredByModem)
{
    const AnsweredCase& c = GetParam();
    SetTapiRetries(3);
    if (c.failingNetwork) {
        SetEnableNetwork1(true);
        SetOutboundHostName1("127.0.0.1");
        SetOutboundPort1A(sim::UnusedLoopbackPort());
        SetOutboundPort1B(0);
        SetEnableOutboundTwofishSecurity(true);
    }
    StartSwitch(c.faults);
    StartController();
    WriteClaim("A.clm", "0000042");
    ASSERT_TRUE(controller->OpenDataSource());

    ASSERT_TRUE(WaitFor([&] { return QFile::exists(QString::fromStdString(claims + "A.rsp")); })) << Log();
    std::string response = ReadWholeFile(claims + "A.rsp");
    EXPECT_NE(response.find("ANP"), std::string::npos) << response;
    EXPECT_NE(response.find("D20000042"), std::string::npos) << response;
    EXPECT_TRUE(Logged("ENQ received!"));
    EXPECT_TRUE(Logged(c.logLine)) << Log();
    EXPECT_EQ(Count("TAPI WriteBuffer("), c.label == "NakResendsTheIdenticalFrame" ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, ModemAnswerTest,
    ::testing::Values(AnsweredCase{"NoNetworkHostEnabled", {}, false, "Dial via TAPI"},
                      AnsweredCase{"FallbackWhenTheNetworkFails", {}, true, "Dial via TAPI"},
                      AnsweredCase{"BusyThenConnect", {"--busy", "1"}, false, " : busy"},
                      AnsweredCase{"NakResendsTheIdenticalFrame", {"--nak-first"}, false, "Got a NAK.  LRC("},
                      AnsweredCase{"WrongResponseLrcGetsNak", {"--bad-lrc"}, false, "LRC Check Failed"},
                      AnsweredCase{"EotAfterTheResponseEndsWell", {"--eot-instead-of-enq"}, false,
                                   "Received an EOT."}),
    [](const ::testing::TestParamInfo<AnsweredCase>& info) { return info.param.label; });

struct FailedCase {
    std::string label;
    QStringList faults;
    std::string logLine;
};

void PrintTo(const FailedCase& c, std::ostream* out)
{
    *out << c.label;
}

class ModemFailureTest : public ModemRouteTest, public ::testing::WithParamInterface<FailedCase> {};

// Every fault of the call fails the pass with the route's own message; the
// claim stays for the next pass and nothing is written in its name.
TEST_P(ModemFailureTest, ClaimFileFailsWithTheRoutesMessage)
{
    const FailedCase& c = GetParam();
    SetTapiRetries(1);
    SetTapiReplyTimeout(2);
    StartSwitch(c.faults);
    StartController();
    WriteClaim("A.clm", "0000042");
    ASSERT_TRUE(controller->OpenDataSource());

    ASSERT_TRUE(WaitFor([&] { return Logged("Claim send Exception"); })) << Log();
    EXPECT_TRUE(Logged(c.logLine)) << Log();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(claims + "A.clm")));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(claims + "A.rsp")));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ModemFailureTest,
    ::testing::Values(FailedCase{"NoCarrier", {"--no-carrier"}, "TAPI Dial operation failed"},
                      FailedCase{"NoEnqWithinTenSeconds", {"--no-enq"}, "Timed out waiting for expected ENQ character"},
                      FailedCase{"SilenceAfterTheFrame", {"--silent-after-frame"}, "Unable to process claim"}),
    [](const ::testing::TestParamInfo<FailedCase>& info) { return info.param.label; });

class RelayByModemTest : public ModemRouteTest {
protected:
    void SetUp() override
    {
        ModemRouteTest::SetUp();
        SetDataSourceSocketPort();
        SetPersistentOutboundConnection(true);
        SetInboundSocketFormat(0);
        SetTapiRetries(1);
    }

    // Runs pharmacy-sim on the relay's port while the event loop keeps
    // serving the relay's hand-overs; its exit code.
    int RunPharmacy(const QStringList& options)
    {
        sim::ToolProcess pharmacy("pharmacy-sim",
                                  QStringList{"--port", QString::number(GetInboundPort()), "--framing", "mxsock",
                                              "--connections", "1"} + options);
        EXPECT_TRUE(WaitFor([&] { return pharmacy.finished(); }, 90));
        int code = pharmacy.waitForExit();
        pharmacyOutput = pharmacy.output().toStdString() + pharmacy.errors().toStdString();
        return code;
    }

    std::string pharmacyOutput;
};

// Persistent mode without a network host: the relay hands every claim to the
// main window's call, and answers in the client's framing and sequence.
TEST_F(RelayByModemTest, SocketClientsAreServedOverOneCallUntilItIdles)
{
    StartSwitch();
    StartController();
    controller->Switch().Modem().SetTapiTimerInterval(3000);
    ASSERT_TRUE(controller->OpenDataSource());
    ASSERT_TRUE(WaitFor([&] { return controller->IsRelayStarted(); })) << Log();

    EXPECT_EQ(RunPharmacy({"--claims", "2", "--expect-paid"}), 0) << pharmacyOutput << Log();
    EXPECT_EQ(Count("Dial via TAPI"), 1);

    ASSERT_TRUE(WaitFor([&] { return Logged("Closing TAPI connection due to TAPI Timer event."); })) << Log();
    EXPECT_EQ(RunPharmacy({"--claims", "1", "--expect-paid"}), 0) << pharmacyOutput << Log();
    EXPECT_EQ(Count("Dial via TAPI"), 2);
}

TEST_F(RelayByModemTest, FailedCallIsAnsweredTuq07)
{
    StartSwitch({"--no-carrier"});
    StartController();
    ASSERT_TRUE(controller->OpenDataSource());
    ASSERT_TRUE(WaitFor([&] { return controller->IsRelayStarted(); })) << Log();

    EXPECT_EQ(RunPharmacy({"--claims", "1"}), 0) << pharmacyOutput;
    EXPECT_TRUE(Logged("TAPI connection failed with Exception 'TAPI connection was not established'")) << Log();
    std::string netLog = ReadWholeFile(home.path() + "/TuqNetLog.txt");
    EXPECT_NE(netLog.find("Send HostUnavailable to Client("), std::string::npos) << netLog;
}

}  // namespace

namespace {

TEST(ModemDeviceNamesTest, MappedComPortsWhoseDeviceExistsAreListed)
{
    TestHome home;
    PtyPair ptys;
    ASSERT_TRUE(ptys.Ready());
    SetComPortDevice(5, ptys.PathA());
    SetComPortDevice(6, home.path() + "/gone");
    std::vector<std::string> names = ModemDeviceNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "COM5"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "COM6"), names.end());
    EXPECT_EQ(ModemDevicePath("COM5"), ptys.PathA());
    EXPECT_EQ(ModemDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
}

}  // namespace
