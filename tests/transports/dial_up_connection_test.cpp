#include "app/dispatch_controller.h"
#include "app/headless_view.h"
#include "app/main_form.h"
#include "base/claim_error.h"
#include "config/settings.h"
#include "dialup_fixture.h"
#include "recording_notifier.h"
#include "sim_support.h"
#include "test_logs.h"
#include "transports/dial_up_modem_release.h"
#include "transports/ppp_links.h"
#include "wait_for.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

namespace {

const std::string kPassword = "s3cret \"pw\\";

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A claim-file configuration that reaches the switch over dial-up networking.
class DialUpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        claims = home.path() + "/claims";
        QDir().mkpath(QString::fromStdString(claims));
        SetConfigName("");
        LogInto(home.path() + "/log.txt", home.path() + "/net.txt");
        SetDataSourceFile();
        SetClaimFileMask(claims + "/*.clm");
        SetInboundHostName("127.0.0.1");
        SetInboundPort(sim::UnusedLoopbackPort());
        SetInboundSocketFormat(1);
        SetEnableNetwork1(true);
        SetOutboundHostName1("127.0.0.1");
        SetOutboundPort1A(sim::UnusedLoopbackPort());
        SetEnableOutboundTwofishSecurity(true);
        SetNetConnectType(2);
        SetDialUpConnection("provider");
        SetDialUpUser("pharmacy");
        SetDialUpPwd(kPassword);
        world.writePeer("provider", kProviderEntry);
    }

    std::string Log() const { return ReadWholeFile(home.path() + "/log.txt"); }

    TestHome home;
    DialUpWorld world{home};
    std::string claims;
    HeadlessView view;
    RecordingNotifier notifier;
};

} // namespace

TEST_F(DialUpTest, ConnectOnStartupDialsAndExitHangsUpWhatCorvaneDialled)
{
    SetConnectOnStartup(true);
    {
        TFendralForm form(CommandLine{}, view, notifier);
        form.StartupTimerTimer();
        EXPECT_TRUE(form.Controller().IsFileTimerEnabled()) << Log();
        EXPECT_TRUE(world.linkUp("provider"));
        EXPECT_EQ(world.runs(), 1);
        form.ExitClick(false);
        EXPECT_TRUE(world.linkUp("provider"));  // until the window goes
    }
    EXPECT_FALSE(world.linkUp("provider"));
    std::string log = Log();
    for (const char* line : {"Dial-Up connection 'provider' has NOT been established.",
                             "Dialing 'provider' Dial-Up connection.", "RAS status:  'Connecting'",
                             "RAS connection has been established.", "Dial-Up connection successfully established.",
                             "OpenDataSource:  Activated File Data Source timer.",
                             "Before hangup, RAS ConnectState = 8192, 'Connected'", "Hanging up RAS connection.",
                             "RAS Disconnected.", "After hangup, RAS ConnectState = 8193, 'Disconnected'"})
        EXPECT_TRUE(Has(log, line)) << line << "\n" << log;
    EXPECT_LT(log.find("Dial-Up connection successfully established."),
              log.find("OpenDataSource:  Activated File Data Source timer."));
}

TEST_F(DialUpTest, ConnectionOfAnotherProgramIsUsedWithoutDialAndLeftUp)
{
    OtherProgramsLink other("provider");
    ASSERT_TRUE(WaitFor([&] { return world.linkUp("provider"); }));
    SetConnectOnStartup(true);
    {
        TFendralForm form(CommandLine{}, view, notifier);
        form.StartupTimerTimer();
        EXPECT_TRUE(form.Controller().IsFileTimerEnabled());
        form.ExitClick(false);
    }
    EXPECT_EQ(world.runs(), 1);  // the other program's start only
    EXPECT_TRUE(world.linkUp("provider"));
    EXPECT_TRUE(other.running());
    std::string log = Log();
    EXPECT_TRUE(Has(log, "Dial-Up connection 'provider' already established apparently by another application."));
    EXPECT_FALSE(Has(log, "Dialing 'provider'"));
    EXPECT_FALSE(Has(log, "Hanging up RAS connection."));
}

TEST_F(DialUpTest, FailedDialStopsTheDataSourceFromOpening)
{
    struct Case {
        int status;
        std::string text;
    } cases[] = {
        {19, "The remote system refused the user name or password (exit status 19)."},
        {8, "The connect script failed: no answer, busy or no dial tone (exit status 8)."},
        {0, "pppd ended without bringing the link up."},
    };
    SetConnectOnStartup(true);
    for (const Case& c : cases) {
        world.failDialsWith(c.status);
        DispatchController controller(view, notifier);
        const std::string message = "DialUp Networking error encountered:\n\n'" + c.text + "'";
        try {
            controller.OpenDataSource();
            ADD_FAILURE() << "no error for status " << c.status;
        } catch (const ClaimError& error) {
            EXPECT_EQ(error.what(), message);
        }
        EXPECT_FALSE(controller.IsFileTimerEnabled());
        EXPECT_FALSE(controller.IsActive());
        EXPECT_TRUE(Has(Log(), "Dial-Up connection error:  '" + c.text + "'"));
        EXPECT_TRUE(Has(Log(), "Encountered RAS dial error:  '" + c.text + "'"));
    }
}

TEST_F(DialUpTest, FailedDialAtStartupIsShownToTheUser)
{
    world.failDialsWith(19);
    SetConnectOnStartup(true);
    TFendralForm form(CommandLine{}, view, notifier);
    form.Controller().SetUnattended(true);
    form.StartupTimerTimer();
    ASSERT_FALSE(notifier.errors.empty());
    EXPECT_EQ(notifier.errors.front(), "DialUp Networking error encountered:\n\n'The remote system refused the user "
                                       "name or password (exit status 19).'");
    EXPECT_FALSE(form.Controller().IsFileTimerEnabled());
    // Nobody attends the machine: the open is tried again by itself.
    EXPECT_TRUE(form.Controller().IsResumePending());
}

TEST_F(DialUpTest, DialParametersFromTheSettingsOverrideTheEntry)
{
    struct Case {
        std::string user, password, domain, phone;
        std::string options;  // as pppd received them
    } cases[] = {
        // An empty password is a password: the entry's stored one is not used.
        {"pharmacy", "", "", "", "user=pharmacy|password=|phone=5550100"},
        {"pharmacy", kPassword, "", "555 0199", "user=pharmacy|password=" + kPassword + "|phone=555 0199"},
        {"pharmacy", "x", "STORE", "", "user=STORE\\pharmacy|password=x|phone=5550100"},
        {"", "x", "", "", "user=entryuser|password=x|phone=5550100"},
    };
    for (const Case& c : cases) {
        SetDialUpUser(c.user);
        SetDialUpPwd(c.password);
        SetDialUpDomain(c.domain);
        SetDialUpPhone(c.phone);
        DispatchController controller(view, notifier);
        controller.DialUp().EstablishDialUpConnection();
        std::string options = world.lastOptions();
        EXPECT_EQ(options.substr(0, options.find("|file=")), c.options);
        EXPECT_TRUE(Has(options, "|mode=600|owner=self")) << options;
        std::string optionFile = options.substr(options.find("|file=") + 6);
        optionFile = optionFile.substr(0, optionFile.find('|'));
        EXPECT_FALSE(QFile::exists(QString::fromStdString(optionFile))) << "left behind: " << optionFile;
        controller.DialUp().Dialer().Hangup();
        EXPECT_FALSE(world.linkUp("provider"));
    }
}

TEST_F(DialUpTest, PasswordIsOnNoCommandLineAndInNoLog)
{
    SetConnectOnStartup(true);
    {
        TFendralForm form(CommandLine{}, view, notifier);
        form.StartupTimerTimer();
        ASSERT_TRUE(world.linkUp("provider")) << Log();
        form.ExitClick(false);
    }
    std::string record = world.record();
    ASSERT_TRUE(Has(record, "argv: call provider file "));
    EXPECT_TRUE(Has(record, "password=" + kPassword));  // pppd did get it
    for (const std::string& line : {record.substr(0, record.find('\n')), Log(),
                                    ReadWholeFile(home.path() + "/net.txt")})
        EXPECT_FALSE(Has(line, "s3cret")) << line;
}

TEST_F(DialUpTest, LocalNetworkSelectedNeverDials)
{
    SetConnectOnStartup(true);
    SetNetConnectType(1);
    DispatchController controller(view, notifier);
    EXPECT_TRUE(controller.OpenDataSource());
    EXPECT_EQ(world.runs(), 0);
    EXPECT_FALSE(Has(Log(), "Dial-Up"));
}

TEST_F(DialUpTest, ClaimPassDialsBeforeConnectingAndTheRelayFindsTheLinkUp)
{
    sim::ToolProcess sw("tuq-switch-sim", {"--port", "0", "--twofish"});
    std::uint16_t port = sw.waitForListening();
    ASSERT_NE(port, 0);
    SetOutboundPort1A(port);
    SetClaimFileArchiveFolder("");
    std::ofstream(claims + "/A.clm", std::ios::binary) << sim::ClaimWithPrescription("0000042");

    DispatchController controller(view, notifier);
    ASSERT_TRUE(controller.OpenDataSource());
    EXPECT_EQ(world.runs(), 0);  // not at open: ConnectOnStartup is off
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(QString::fromStdString(claims + "/A.rsp")); })) << Log();
    EXPECT_TRUE(Has(ReadWholeFile(claims + "/A.rsp"), "D20000042"));
    EXPECT_EQ(world.runs(), 1);
    EXPECT_TRUE(world.linkUp("provider"));

    std::string log = Log();
    size_t dialled = log.find("Dial-Up connection successfully established.");
    size_t started = log.find("Calling StartMxSock() from WinSockConnect().");
    size_t request = log.find("Received MxEstablishDialUpConnection request.");
    ASSERT_NE(dialled, std::string::npos) << log;
    EXPECT_LT(dialled, started);
    EXPECT_LT(started, request);
    EXPECT_TRUE(Has(log.substr(request), "Dial-Up connection 'provider' was established by this application."));
}

TEST_F(DialUpTest, FailedDialFailsTheRelaysConnectWithTheMessage)
{
    // A relay that keeps its switch connection connects when it opens, and
    // its dial-up request comes first.
    sim::ToolProcess sw("tuq-switch-sim", {"--port", "0", "--twofish"});
    std::uint16_t port = sw.waitForListening();
    ASSERT_NE(port, 0);
    SetOutboundPort1A(port);
    SetDataSourceSocketPort();
    SetPersistentOutboundConnection(true);
    world.failDialsWith(16);
    DispatchController controller(view, notifier);
    controller.SetUnattended(true);
    EXPECT_TRUE(controller.OpenDataSource());
    EXPECT_FALSE(controller.HasRelayThread());
    std::string net = ReadWholeFile(home.path() + "/net.txt");
    EXPECT_TRUE(Has(net, "EstablishDialUpConnection failed with Exception 'DialUp Networking error encountered:\n\n"
                         "'The modem hung up (exit status 16).''"))
        << net;
    EXPECT_TRUE(Has(Log(), "Received MxEstablishDialUpConnection request."));
}

TEST_F(DialUpTest, ModemIsFreedFromTheConnectionsOnItsDevice)
{
    const std::string link = home.path() + "/modem";
    ASSERT_TRUE(QFile::link("/dev/null", QString::fromStdString(link)));
    world.writePeer("onmodem", "/dev/null\nuser \"a\"\n");
    world.writePeer("elsewhere", "/dev/ttyS7\nuser \"b\"\n");
    OtherProgramsLink onModem("onmodem");
    OtherProgramsLink elsewhere("elsewhere");
    ASSERT_TRUE(WaitFor([&] { return world.linkUp("onmodem") && world.linkUp("elsewhere"); }));

    EXPECT_EQ(ReleaseModemFromDialUp(link), 1);
    EXPECT_FALSE(world.linkUp("onmodem"));
    EXPECT_TRUE(world.linkUp("elsewhere"));
    EXPECT_EQ(ReleaseModemFromDialUp("/dev/ttyS9"), 0);
    EXPECT_TRUE(world.linkUp("elsewhere"));
    std::string log = Log();
    for (const char* line : {"Hanging up Dial-Up connection so associated modem can be used for TAPI claim submittal.",
                             "Dial-Up connection successfully hung up.",
                             "Pausing three seconds before allowing TAPI to dial."})
        EXPECT_TRUE(Has(log, line)) << line;
}

TEST_F(DialUpTest, LinkDroppedByTheProviderIsReported)
{
    DispatchController controller(view, notifier);
    controller.DialUp().EstablishDialUpConnection();
    ASSERT_TRUE(world.linkUp("provider"));
    auto disconnects = [&] {
        std::string log = Log();
        int count = 0;
        for (size_t at = log.find("RAS Disconnected."); at != std::string::npos;
             at = log.find("RAS Disconnected.", at + 1))
            ++count;
        return count;
    };
    int before = disconnects();  // the one every dial begins with
    PppLink link;
    ASSERT_TRUE(FindPppLink("provider", link));
    ::kill(link.pid, SIGTERM);
    EXPECT_TRUE(WaitFor([&] { return disconnects() == before + 1; })) << Log();
    EXPECT_FALSE(controller.DialUp().IsDialUpConnectionEstablished());
}

TEST_F(DialUpTest, MissingEntryIsNamedAlongWithTheEntriesThereAre)
{
    SetDialUpConnection("nosuch");
    world.writePeer("backup", kProviderEntry);
    DispatchController controller(view, notifier);
    try {
        controller.DialUp().EstablishDialUpConnection();
        ADD_FAILURE() << "no error";
    } catch (const ClaimError& error) {
        EXPECT_EQ(error.what(), "DialUp Networking error encountered:\n\n'The dial-up entry is not in the phone book " +
                                    world.peersDir + " (its entries: backup, provider).'");
    }
    EXPECT_EQ(world.runs(), 0);
}
