// The serial data source as the dispatch controller opens, cancels and
// closes it.
#include "app/dispatch_controller.h"
#include "app/headless_view.h"
#include "config/log_settings.h"
#include "config/settings.h"
#include "ports/null_modem.h"
#include "ports/port_ticks.h"
#include "ports/pumped_wait.h"
#include "recording_notifier.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

class SerialControllerTest : public ::testing::Test {
protected:
    SerialControllerTest()
    {
        SetEnableDebugMessages(true);
        SetDebugFileName(home.path() + "/TuqLog.txt");
        LoadLogSettings();
        SetDataSourceSerialPort();
        SetInboundHostName("127.0.0.1");
        SetInboundPort(9);
        SetEnableNetwork1(true);
        SetOutboundHostName1("127.0.0.1");
        SetOutboundPort1A(9);
        SetEnableOutboundTwofishSecurity(true);
        SetComNumber(1);
        SetComPortDevice(1, cable.PathB());
        pharmacy.SetDevicePath(cable.PathA());
        QObject::connect(&pharmacy, &TApdWinsockPort::OnTriggerAvail,
                         [this](int count) { heard += pharmacy.GetBlock(count); });
    }

    bool Logged(const std::string& line) const
    {
        return ReadWholeFile(home.path() + "/TuqLog.txt").find(">" + line + "\n") != std::string::npos;
    }

    bool Hears(const std::string& bytes)
    {
        return PumpedWait(Secs2Ticks(20), [&] { return heard.size() >= bytes.size(); }) && heard == bytes;
    }

    TestHome home;
    NullModemPair cable;
    TApdWinsockPort pharmacy;
    HeadlessView view;
    RecordingNotifier notifier;
    DispatchController controller{view, notifier};
    std::string heard;
};

struct EndCase {
    int profile;
    bool cancel;  // else the data source is closed
    std::string heard;
    std::string rtsLine;  // empty: RTS stays up
};

void PrintTo(const EndCase& c, std::ostream* out)
{
    *out << "profile " << c.profile << (c.cancel ? " cancel" : " close");
}

class SerialEndTest : public SerialControllerTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(SerialEndTest, HangsUpWithTheProfilesReportAndLines)
{
    const EndCase& c = GetParam();
    SetPharmacyConfig(c.profile);
    ASSERT_TRUE(controller.OpenDataSource());
    EXPECT_EQ(view.StatusText(), "Waiting for claim on serial port.");
    EXPECT_TRUE(controller.IsActive());
    pharmacy.SetOpen(true);

    if (c.cancel)
        controller.CancelButtonClick(true);
    else
        controller.CloseDataSource();

    EXPECT_TRUE(Hears(c.heard)) << heard;
    EXPECT_FALSE(controller.Modem().IsSourcePortOpen());
    EXPECT_TRUE(Logged("Dropping serial port DTR."));
    for (const char* line : {"Dropping serial port RTS.", "Lowering serial port RTS."})
        EXPECT_EQ(Logged(line), c.rtsLine == line) << line;
    EXPECT_FALSE(controller.IsActive());
}

INSTANTIATE_TEST_SUITE_P(Profiles, SerialEndTest,
                         ::testing::Values(EndCase{0, true, "\x04NO CARRIER\r\n+++", ""},
                                           EndCase{4, true, "\x04NO CARRIER\r\n+++", "Dropping serial port RTS."},
                                           EndCase{7, true, "\x04\r\nNO CARRIER\r\n", "Dropping serial port RTS."},
                                           EndCase{1, false, "\x04" "3\r", ""},
                                           EndCase{5, false, "\x04NO CARRIER\r\n+++", ""},
                                           EndCase{7, false, "\x04\r\nNO CARRIER\r\n", "Lowering serial port RTS."}));

TEST_F(SerialControllerTest, LegacyXenixSwitchSelectsProfileOne)
{
    home.writeSettings(ReadWholeFile(home.settingsFile()) +
                       "\n[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\InputSerialPort]\n"
                       "\"Is3PMXenixSystem\"=\"1\"\n");
    ASSERT_TRUE(controller.OpenDataSource());
    EXPECT_EQ(controller.Modem().Profile().Number(), 1);
    EXPECT_FALSE(controller.Modem().EchoEnabled());
    EXPECT_TRUE(controller.Modem().Profile().NumericResultCodes());
    controller.CloseDataSource();
}

TEST_F(SerialControllerTest, PortThatCannotOpenReachesTheCaller)
{
    SetComPortDevice(1, home.path() + "/no-such-device");
    EXPECT_THROW(controller.OpenDataSource(), std::exception);
    EXPECT_FALSE(controller.IsActive());
}

}  // namespace
