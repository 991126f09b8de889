#include "app/options/options_values.h"
#include "config/settings.h"
#include "config/settings_access.h"
#include "options_settings.h"

#include <QTcpServer>
#include <fstream>
#include <gtest/gtest.h>

TEST(OptionsValuesTest, BaudRateShownWhenListedElse19200)
{
    const std::pair<int, int> cases[] = {{300, 300}, {115200, 115200}, {57600, 57600}, {14400, 19200}, {0, 19200}};
    for (const auto& [stored, shown] : cases) {
        SCOPED_TRACE(stored);
        TestHome home;
        OptionsSettings settings(home);
        settings.serial["Baud"] = Dword(stored);
        settings.Write(home);
        OptionsValues values = LoadOptionsValues(LoadPurpose::Dialog);
        EXPECT_EQ(values.baud, shown);
        SaveOptionsValues(values);
        EXPECT_EQ(GetBaud(), shown);
    }
}

TEST(OptionsValuesTest, EnqPauseShownWithOneDecimalAndSavedSo)
{
    TestHome home;
    OptionsSettings settings(home);
    settings.Write(home);
    SetSPEnqPause(0.25);
    OptionsValues values = LoadOptionsValues(LoadPurpose::Dialog);
    EXPECT_EQ(values.enqPause, "0.3");
    SaveOptionsValues(values);
    EXPECT_DOUBLE_EQ(GetSPEnqPause(), 0.3);

    values.enqPause = "";
    SaveOptionsValues(values);
    EXPECT_DOUBLE_EQ(GetSPEnqPause(), 0.5);
}

TEST(OptionsValuesTest, NumbersSavedByTheirRules)
{
    struct Case {
        const char* name;
        std::string OptionsValues::*edit;
        std::string typed;
        int (*stored)();
        int expected;
    };
    const Case cases[] = {
        {"pasted -5 as claim retry delay", &OptionsValues::claimFileRetryDelay, "-5", GetClaimFileRetryDelay, 10},
        {"claim retry delay 0", &OptionsValues::claimFileRetryDelay, "0", GetClaimFileRetryDelay, 0},
        {"claim retries 0", &OptionsValues::claimFileRetries, "0", GetClaimFileRetries, 3},
        {"claim retries 7", &OptionsValues::claimFileRetries, "7", GetClaimFileRetries, 7},
        {"response attempts empty", &OptionsValues::spClientRetries, "", GetSPClientRetries, 3},
        {"dial attempts 0", &OptionsValues::tapiRetries, "0", GetTapiRetries, 3},
        {"dial retry delay -2", &OptionsValues::tapiRetryDelay, "-2", GetTapiRetryDelay, 1},
        {"reply timeout empty", &OptionsValues::tapiReplyTimeout, "", GetTapiReplyTimeout, 30},
        {"xon that does not parse", &OptionsValues::xonChar, "1x", GetXOnChar, 0},
        {"idle timeout empty", &OptionsValues::idleTimeout, "", GetInboundIdleTimeout, 0},
    };
    TestHome home;
    OptionsSettings settings(home);
    settings.Write(home);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OptionsValues values = LoadOptionsValues(LoadPurpose::Dialog);
        values.*c.edit = c.typed;
        SaveOptionsValues(values);
        EXPECT_EQ(c.stored(), c.expected);
    }
}

TEST(OptionsValuesTest, InboundFormatListAndTheMainWindowsLink)
{
    const std::pair<int, int> storedToIndex[] = {{0, 1}, {1, 2}, {2, 0}, {3, 3}};
    for (const auto& [stored, index] : storedToIndex) {
        EXPECT_EQ(InboundFormatIndexOf(stored), index);
        EXPECT_EQ(InboundFormatOf(index), stored);
    }
    EXPECT_EQ(InboundFormatOf(-1), 2);  // nothing selected

    TestHome home;
    OptionsSettings settings(home);
    settings.main["InboundSocketFormat"] = Dword(0);
    settings.Write(home);
    // Claim files through host 1: the main window's own link needs MxSock
    // with Twofish, whatever the list shows.
    SaveOptionsValues(LoadOptionsValues(LoadPurpose::Dialog));
    EXPECT_EQ(GetInboundSocketFormat(), 1);

    OptionsValues socket = LoadOptionsValues(LoadPurpose::Dialog);
    socket.dataSource = DataSourceChoice::SocketPort;
    socket.inboundFormatIndex = 3;
    SaveOptionsValues(socket);
    EXPECT_EQ(GetInboundSocketFormat(), 3);
    EXPECT_EQ(GetDataSourceType(), "SocketPort");
}

TEST(OptionsValuesTest, SaveWritesWhatLoadRead)
{
    TestHome home;
    OptionsSettings settings(home);
    settings.main["ClaimFileArchiveFolder"] = Text(home.path());
    settings.main["SSLClientPassword"] = Text(" secret ");
    settings.main["SystemID"] = Text("pharm01");
    settings.main["ConnectViaTapi"] = Text("1");
    settings.main["TapiDeviceName"] = Text("COM3");
    settings.main["TapiConfig"] = "hex:49,6e,69,74";
    settings.ports["COM3"] = Text("/dev/null");
    settings.serial["Parity"] = Dword(2);
    settings.serial["DataBits"] = Dword(7);
    settings.serial["StopBits"] = Dword(2);
    settings.network["DialUpUser"] = Text("pharmacy01");
    settings.Write(home);

    OptionsValues loaded = LoadOptionsValues(LoadPurpose::Dialog);
    EXPECT_EQ(loaded.modemName, "COM3");
    EXPECT_EQ(loaded.tapiConfig.size, 4u);
    SaveOptionsValues(loaded);
    OptionsValues again = LoadOptionsValues(LoadPurpose::Dialog);

    EXPECT_EQ(again.archiveFolder, home.path());
    EXPECT_EQ(again.clientPassword, " secret ");
    EXPECT_EQ(again.systemId, "PHARM01");
    EXPECT_EQ(again.parity, 2);
    EXPECT_EQ(again.dataBits, 7);
    EXPECT_EQ(again.stopBits, 2);
    EXPECT_EQ(again.dialUpUser, "pharmacy01");
    EXPECT_EQ(again.inboundPort, loaded.inboundPort);
    EXPECT_EQ(ReadBinary(SettingsSection::Main, "TapiConfig"), (std::vector<uint8_t>{'I', 'n', 'i', 't'}));
    EXPECT_EQ(GetDataSourceType(), "File");
    EXPECT_EQ(GetNetConnectType(), 1);
}

TEST(OptionsValuesTest, DeclinedFolderIsSavedAsTyped)
{
    TestHome home;
    OptionsSettings settings(home);
    settings.Write(home);
    OptionsValues values = LoadOptionsValues(LoadPurpose::Dialog);
    values.responseFileFolder = " " + home.path() + "/not-there ";
    SaveOptionsValues(values);
    EXPECT_EQ(GetResponseFileFolder(), home.path() + "/not-there");
}

// Cancel saves nothing: loading is all that happened, and loading writes
// only when the stored modem is gone (it is forgotten at once).
TEST(OptionsValuesTest, LoadingWritesOnlyAForgottenModem)
{
    TestHome home;
    OptionsSettings settings(home);
    settings.main["InboundPort"] = Dword(0);  // the dialog finds one, shown only
    settings.Write(home);
    std::string before = ReadWholeFile(home.settingsFile());
    OptionsValues shown = LoadOptionsValues(LoadPurpose::Dialog);
    EXPECT_GE(DecimalOrZero(shown.inboundPort), kListenPortSeed);
    EXPECT_EQ(ReadWholeFile(home.settingsFile()), before);

    settings.main["TapiDeviceName"] = Text("COM9");
    settings.main["TapiConfig"] = "hex:01,02";
    settings.Write(home);
    before = ReadWholeFile(home.settingsFile());
    // The check command reads and reports, and never writes.
    OptionsValues checked = LoadOptionsValues(LoadPurpose::Check);
    EXPECT_EQ(checked.modemName, "");
    EXPECT_EQ(checked.inboundPort, "0");
    EXPECT_EQ(ReadWholeFile(home.settingsFile()), before);

    OptionsValues dialog = LoadOptionsValues(LoadPurpose::Dialog);
    EXPECT_EQ(dialog.modemName, "");
    EXPECT_EQ(GetTapiDeviceName(), "");
    EXPECT_FALSE(ValueExists(SettingsSection::Main, "TapiConfig"));
    EXPECT_EQ(GetSystemID(), "PHARM01");
}

// Debian's ppp package ships a "provider" entry; a user typed for the dial
// must not give way to that entry's just because the dialog opened.
TEST(OptionsValuesTest, StoredDialUserSurvivesThePhoneBooksFirstEntry)
{
    TestHome home;
    std::ofstream(home.peersDir() + "/provider")
        << "/dev/modem\nuser \"myusername@realm\"\nconnect \"/usr/sbin/chat -v -f /etc/chatscripts/pap -T 5550199\"\n";
    OptionsSettings settings(home);
    settings.network["DialUpConnection"] = Text("");
    settings.network["DialUpUser"] = Text("pharmacy01");
    settings.Write(home);

    OptionsValues loaded = LoadOptionsValues(LoadPurpose::Dialog);
    EXPECT_EQ(loaded.dialUpConnection, "provider");
    EXPECT_EQ(loaded.dialUpUser, "pharmacy01");
    EXPECT_EQ(loaded.dialUpPhone, "5550199") << "an empty stored value shows the entry's";
    SaveOptionsValues(loaded);
    EXPECT_EQ(GetDialUpUser(), "pharmacy01");

    // Choosing the entry in the dialog takes its own values.
    loaded.dialUpConnection = "provider";
    SetDialUpConnection("elsewhere");
    FillDialParameters(loaded);
    EXPECT_EQ(loaded.dialUpUser, "myusername@realm");
}
