#include "app/dispatch_controller.h"
#include "base/general_log.h"
#include "app/headless_view.h"
#include "app/main_form.h"
#include "config/settings.h"
#include "recording_notifier.h"
#include "test_env.h"
#include "test_logs.h"
#include "sim_support.h"
#include "wait_for.h"

#include <QDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr char STX = 0x02;
constexpr char ETX = 0x03;

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}


// The whole claim-file road: controller, relay thread and the switch simulator.
class ClaimRoadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        claims = home.path() + "/claims";
        archive = home.path() + "/archive";
        QDir().mkpath(QString::fromStdString(claims));
        QDir().mkpath(QString::fromStdString(archive));
        SetConfigName("");
        LogInto(home.path() + "/log.txt", home.path() + "/net.txt");
        SetDataSourceFile();
        SetClaimFileMask(claims + "/*.clm");
        SetClaimFileArchiveFolder(archive);
        SetClaimFileRetryDelay(1);
        SetInboundHostName("127.0.0.1");
        SetInboundPort(sim::UnusedLoopbackPort());
        SetInboundSocketFormat(1);
        SetEnableNetwork1(true);
        SetOutboundHostName1("127.0.0.1");
        SetOutboundPort1B(0);
        SetEnableOutboundTwofishSecurity(true);
        SetOutboundConnectTimeout(5);
        SetSystemID("ROADTEST");
    }

    void StartSwitch(const QStringList& extra = {})
    {
        QStringList args{"--port", "0", "--twofish"};
        args += extra;
        sim = std::make_unique<sim::ToolProcess>("tuq-switch-sim", args);
        std::uint16_t port = sim->waitForListening();
        ASSERT_NE(port, 0);
        SetOutboundPort1A(port);
    }

    // A port where nothing listens: the relay cannot reach the switch.
    void NoSwitch() { SetOutboundPort1A(sim::UnusedLoopbackPort()); }

    std::string Log() const { return ReadWholeFile(home.path() + "/log.txt"); }

    TestHome home;
    std::string claims, archive;
    HeadlessView view;
    RecordingNotifier notifier;
    std::unique_ptr<sim::ToolProcess> sim;
};

} // namespace

TEST_F(ClaimRoadTest, ClaimFileGetsItsResponseAndIsArchived)
{
    StartSwitch();
    DispatchController controller(view, notifier);
    const std::string claim = sim::ClaimWithPrescription("0000042");
    WriteFile(claims + "/A.clm", STX + claim + ETX + "x\r\n");
    ASSERT_TRUE(controller.OpenDataSource());
    EXPECT_TRUE(controller.IsFileTimerEnabled());

    ASSERT_TRUE(WaitFor([&] { return PathExists(claims + "/A.rsp"); })) << Log();
    std::string response = ReadWholeFile(claims + "/A.rsp");
    ASSERT_GT(response.size(), 40u);
    EXPECT_EQ(response.front(), STX);
    EXPECT_EQ(response.substr(1, 2), "51");
    EXPECT_NE(response.find("ANP"), std::string::npos);        // paid by the switch
    EXPECT_NE(response.find("D20000042"), std::string::npos);  // its own prescription
    EXPECT_EQ(response[response.size() - 2], ETX);
    EXPECT_TRUE(WaitFor([&] { return PathExists(archive + "/A.clm"); }));
    EXPECT_FALSE(PathExists(claims + "/A.clm"));

    // The pass closes the connection and stops the relay again.
    EXPECT_TRUE(WaitFor([&] { return !controller.HasRelayThread() && !controller.State().filePassBusy; }));
    EXPECT_TRUE(controller.IsFileTimerEnabled());
    EXPECT_EQ(controller.State().failureCount, 0);
}

TEST_F(ClaimRoadTest, UnreachableSwitchCountsFailuresThenAnswersHostUnavailable)
{
    NoSwitch();
    SetClaimFileRetries(2);
    DispatchController controller(view, notifier);
    WriteFile(claims + "/B.clm", sim::ClaimWithPrescription("0000007"));
    ASSERT_TRUE(controller.OpenDataSource());

    ASSERT_TRUE(WaitFor([&] {
        return view.StatusText() == "Pausing 1 seconds before sending again.  (Failure 1 of 2)";
    })) << view.StatusText().toStdString() << Log();
    ASSERT_TRUE(WaitFor([&] { return PathExists(claims + "/B.rsp"); })) << Log();
    std::string response = ReadWholeFile(claims + "/B.rsp");
    EXPECT_NE(response.find("TUQ07 PROCESSOR UNAVAILABLE (ROADTEST)"), std::string::npos);
    EXPECT_NE(response.find("FB92"), std::string::npos);
    EXPECT_TRUE(WaitFor([&] { return PathExists(archive + "/B.clm"); }));
    EXPECT_TRUE(WaitFor([&] { return controller.State().failureCount == 0 && controller.IsFileTimerEnabled(); }));
    EXPECT_NE(Log().find("Claim send Exception 'Could not establish network connection'"), std::string::npos);
    EXPECT_TRUE(notifier.errors.empty());
}

TEST_F(ClaimRoadTest, SwitchThatNeverAnswersGetsTheRelaysTimeoutReply)
{
    StartSwitch({"--no-answer"});
    SetOutboundOverallTimeout(2);
    DispatchController controller(view, notifier);
    WriteFile(claims + "/C.clm", sim::ClaimWithPrescription("0000003"));
    ASSERT_TRUE(controller.OpenDataSource());
    ASSERT_TRUE(WaitFor([&] { return PathExists(claims + "/C.rsp"); })) << Log();
    std::string response = ReadWholeFile(claims + "/C.rsp");
    EXPECT_NE(response.find("TUQ06 PROCESSOR TIMED OUT (ROADTEST)"), std::string::npos);
}

TEST_F(ClaimRoadTest, CancelDuringTheExchangeEndsThePass)
{
    StartSwitch({"--delay", "600000"});
    DispatchController controller(view, notifier);
    WriteFile(claims + "/D.clm", sim::ClaimWithPrescription("0000004"));
    ASSERT_TRUE(controller.OpenDataSource());
    // The pass waits inside the timer's handler; Cancel arrives as an event
    // there, as a click would.
    bool cancelled = false;
    QTimer watcher;
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (view.StatusText().endsWith("  Awaiting response...")) {
            watcher.stop();
            controller.CancelButtonClick(true);
            cancelled = true;
        }
    });
    watcher.start();
    ASSERT_TRUE(WaitFor([&] { return cancelled; })) << Log();
    ASSERT_TRUE(WaitFor([&] { return !controller.State().filePassBusy; }));
    EXPECT_EQ(view.StatusText(), "Awaiting user input to continue (Cancel clicked).");
    EXPECT_FALSE(controller.IsFileTimerEnabled());
    EXPECT_FALSE(controller.HasRelayThread());
    EXPECT_FALSE(controller.IsActive());
    EXPECT_TRUE(PathExists(claims + "/D.clm"));  // nothing lost
    EXPECT_FALSE(PathExists(claims + "/D.rsp"));
}

TEST_F(ClaimRoadTest, SocketDataSourceServesPharmacyClients)
{
    StartSwitch();
    SetDataSourceSocketPort();
    DispatchController controller(view, notifier);
    ASSERT_TRUE(controller.OpenDataSource());
    EXPECT_TRUE(controller.HasRelayThread());

    sim::ToolProcess pharmacy("pharmacy-sim", {"--port", QString::number(GetInboundPort()), "--framing", "mxsock",
                                          "--twofish", "--connections", "4", "--claims", "5", "--expect-paid"});
    // The relay serves the clients on its own thread; blocking here is fine.
    EXPECT_EQ(pharmacy.waitForExit(), 0) << pharmacy.output().toStdString() << pharmacy.errors().toStdString();

    controller.CancelButtonClick(true);
    EXPECT_FALSE(controller.HasRelayThread());
    EXPECT_EQ(view.StatusText(), "Awaiting user input to continue (Cancel button clicked).");
}

TEST_F(ClaimRoadTest, ExitDuringTheExchangeEndsThePassAndKeepsTheClaim)
{
    StartSwitch({"--delay", "600000"});
    // Far longer than the wait below: only an exchange that notices the
    // closed connection ends in time.
    SetOutboundOverallTimeout(100);
    SetHeight(250); // not a first run: the form stays hidden
    WriteFile(claims + "/E.clm", sim::ClaimWithPrescription("0000005"));
    TFendralForm form(CommandLine{}, view, notifier);
    bool exited = false;
    QObject::connect(&form, &TFendralForm::ExitFinished, [&] { exited = true; });
    QTimer watcher;
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (view.StatusText().endsWith("  Awaiting response...")) {
            watcher.stop();
            form.ExitClick(false);
        }
    });
    watcher.start();

    ASSERT_TRUE(WaitFor([&] { return exited && !form.Controller().State().filePassBusy; })) << Log();
    EXPECT_FALSE(form.Controller().HasRelayThread());
    EXPECT_FALSE(form.Controller().IsSwitchConnectionOpen());
    EXPECT_TRUE(PathExists(claims + "/E.clm"));
    EXPECT_FALSE(PathExists(claims + "/E.rsp"));
    std::string log = Log();
    EXPECT_LT(log.find("Exit invoked."), log.find("CloseDataSource called"));
    EXPECT_NE(log.find("Header data received prior to error (0)"), std::string::npos);
}

TEST_F(ClaimRoadTest, RelayThatDropsTheConnectionStopsAtTheCeiling)
{
    // The relay expects another framing: it refuses the main window's claim
    // as over-long and drops the connection, pass after pass.
    StartSwitch();
    SetInboundSocketFormat(2);
    SetClaimFileRetries(2);
    DispatchController controller(view, notifier);
    WriteFile(claims + "/F.clm", sim::ClaimWithPrescription("0000006"));
    ASSERT_TRUE(controller.OpenDataSource());

    ASSERT_TRUE(WaitFor([&] {
        return view.StatusText() == "Awaiting user input to continue (max tries exceeded).";
    })) << view.StatusText().toStdString() << Log();
    EXPECT_FALSE(controller.IsFileTimerEnabled());
    EXPECT_EQ(controller.State().failureCount, 0);
    EXPECT_TRUE(PathExists(claims + "/F.clm"));
    EXPECT_FALSE(PathExists(claims + "/F.rsp"));
    EXPECT_TRUE(notifier.errors.empty());

    // Send starts polling again.
    controller.SendButtonClick();
    EXPECT_TRUE(controller.IsFileTimerEnabled());
}

// Unattended, a wait for the user ends by itself after the pause.
TEST_F(ClaimRoadTest, UnattendedWaitForSettingsResumesAfterThePause)
{
    SetDataSourceType("");
    for (bool unattended : {false, true}) {
        SCOPED_TRACE(unattended ? "unattended" : "attended");
        RecordingNotifier seen;
        DispatchController controller(view, seen);
        controller.SetUnattended(unattended);
        controller.SetResumePause(100);

        controller.SendButtonClick();

        ASSERT_EQ(seen.messages.size(), 1u);
        ASSERT_EQ(seen.waits.size(), 1u);
        EXPECT_EQ(seen.waits[0].reason, "Set Connection and Data Source parameters in the Options Panel.");
        EXPECT_EQ(seen.waits[0].retrySeconds, unattended ? 1 : 0);
        EXPECT_EQ(controller.IsResumePending(), unattended);
        if (unattended) {
            EXPECT_TRUE(WaitFor([&] { return seen.messages.size() >= 2; }, 30));
        }
    }
}

// A persistent socket source whose switch is down at start opens the
// inbound port once the switch answers, without anybody pressing Send.
TEST_F(ClaimRoadTest, SocketSourceOpensOnceTheSwitchIsUp)
{
    NoSwitch();
    SetDataSourceSocketPort();
    SetPersistentOutboundConnection(true);
    DispatchController controller(view, notifier);
    controller.SetResumePause(200);

    EXPECT_TRUE(controller.OpenDataSource());
    EXPECT_FALSE(controller.HasRelayThread());
    ASSERT_EQ(notifier.waits.size(), 1u);
    EXPECT_GT(notifier.waits[0].retrySeconds, 0);
    EXPECT_EQ(view.StatusText(), "SSL connection failure -- User input required!");

    StartSwitch();
    EXPECT_TRUE(WaitFor([&] { return controller.IsRelayStarted(); }))
        << Log();
    controller.CloseDataSource();
    EXPECT_TRUE(WaitFor([&] { return !controller.HasRelayThread(); }));
}
