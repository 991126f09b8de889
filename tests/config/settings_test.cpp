#include "config/host_identity.h"
#include "config/settings.h"
#include "test_env.h"

#include <gtest/gtest.h>

namespace {

const std::string kMainKey = "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\n";
const std::string kSerialKey =
    "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\InputSerialPort]\n";
const std::string kNetworkKey = "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Network]\n";

class SettingsValues : public ::testing::Test {
protected:
    void TearDown() override
    {
        SetConfigName("");
        SetHostNameProvider(nullptr);
        SetLocalAddressProvider(nullptr);
    }
    void Store(const std::string& body) { home.writeSettings("REGEDIT4\n\n" + body); }

    TestHome home;
};

TEST_F(SettingsValues, MissingFileGivesDefaults)
{
    EXPECT_EQ(GetDataSourceType(), "File");
    EXPECT_EQ(GetResponseFileExtension(), ".rsp");
    EXPECT_EQ(GetClaimFileRetries(), 3);
    EXPECT_EQ(GetClaimFileRetryDelay(), 5);
    EXPECT_EQ(GetDebugFileName(), home.path() + "/TuqData/TuqLog.txt");
    EXPECT_EQ(GetNetworkDebugFileName(), home.path() + "/TuqData/TuqNetLog.txt");
    EXPECT_EQ(GetClaimFileMask(), home.path() + "/TuqData/*.clm");
    EXPECT_EQ(GetInboundSocketFormat(), 2);
    EXPECT_EQ(GetOutboundHostName1(), "claims.tuqnetwork.example");
    EXPECT_EQ(GetOutboundHostName2(), "192.0.2.10");
    EXPECT_EQ(GetOutboundHostName3(), "198.51.100.10");
    EXPECT_EQ(GetOutboundPort2A(), 6101);
    EXPECT_EQ(GetOutboundPort3B(), 6102);
    EXPECT_EQ(GetPhoneNumber(), "555-0100");
    EXPECT_EQ(GetBaud(), 19200);
    EXPECT_EQ(GetXOnChar(), 17);
    EXPECT_EQ(GetXOffChar(), 19);
    EXPECT_TRUE(GetEnqHalfSecDelay());
    EXPECT_DOUBLE_EQ(GetSPEnqPause(), 0.5);
    EXPECT_EQ(GetNetConnectType(), 1);
    EXPECT_EQ(GetWidth(640), 640);
    EXPECT_EQ(GetPharmacyConfig(), 0);
    EXPECT_FALSE(ValueExists(SettingsSection::Main, "DataSourceType"));
}

TEST_F(SettingsValues, ConfigNameSelectsItsOwnKeys)
{
    Store(kMainKey + "\"ClaimFileRetries\"=dword:00000001\n\n" + kSerialKey +
          "\"Baud\"=dword:00002580\n\n"
          "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Store2]\n"
          "\"ClaimFileRetries\"=dword:00000002\n\n"
          "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Store2\\InputSerialPort]\n"
          "\"Baud\"=dword:00000960\n");
    EXPECT_EQ(GetClaimFileRetries(), 1);
    EXPECT_EQ(GetBaud(), 9600);
    SetConfigName("Store2");
    EXPECT_EQ(GetConfigName(), "Store2");
    EXPECT_EQ(GetClaimFileRetries(), 2);
    EXPECT_EQ(GetBaud(), 2400);
}

TEST_F(SettingsValues, SettersWriteUnderTheNamedConfiguration)
{
    SetConfigName("Store2");
    SetClaimFileRetries(7);
    SetDialUpUser("anna");
    SetParity(2);
    std::string text = ReadWholeFile(home.settingsFile());
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Store2]\n"
                        "\"ClaimFileRetries\"=dword:00000007\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Store2\\Network]\n"
                        "\"DialUpUser\"=\"anna\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Corvane\\Store2\\InputSerialPort]\n\"Parity\"=dword:00000002"),
              std::string::npos);
    SetConfigName("");
    EXPECT_EQ(GetClaimFileRetries(), 3);
}

TEST_F(SettingsValues, KeysAndNamesCompareWithoutCase)
{
    Store("[hkey_current_user\\SOFTWARE\\tuq network\\corvane]\n\"claimfileretries\"=\"9\"\n");
    EXPECT_EQ(GetClaimFileRetries(), 9);
    EXPECT_TRUE(ValueExists(SettingsSection::Main, "CLAIMFILERETRIES"));
    SetClaimFileRetries(4);
    EXPECT_EQ(GetClaimFileRetries(), 4);
    EXPECT_NE(ReadWholeFile(home.settingsFile()).find("\"claimfileretries\"=\"4\""),
              std::string::npos);
}

TEST_F(SettingsValues, EmptyTextIsKeptNotDefaulted)
{
    Store(kMainKey + "\"ResponseFileExtension\"=\"\"\n");
    EXPECT_EQ(GetResponseFileExtension(), "");
}

struct IntCase {
    const char* stored;
    int (*getter)();
    int expected;
};

int NetConnectType() { return GetNetConnectType(); }

TEST_F(SettingsValues, IntegerReadRulesAndRanges)
{
    const IntCase cases[] = {
        {"\"InboundPort\"=dword:00011170", GetInboundPort, 0},  // 70000
        {"\"InboundPort\"=dword:ffffffff", GetInboundPort, 0},
        {"\"InboundPort\"=\"65535\"", GetInboundPort, 65535},
        {"\"InboundSocketFormat\"=dword:00000009", GetInboundSocketFormat, 2},
        {"\"InboundSocketFormat\"=dword:00000000", GetInboundSocketFormat, 0},
        {"\"OutboundOverallTimeout\"=dword:ffffffff", GetOutboundOverallTimeout, 60},
        {"\"OutboundConnectTimeout\"=\"-5\"", GetOutboundConnectTimeout, 6},
        {"\"OutboundWriteTimeout\"=dword:00000000", GetOutboundWriteTimeout, 0},
        {"\"InboundIdleTimeout\"=dword:fffffffe", GetInboundIdleTimeout, 15},
        {"\"OutboundPort1A\"=\"6105\"", GetOutboundPort1A, 6105},
        {"\"OutboundPort2B\"=dword:00010000", GetOutboundPort2B, 0},
        {"\"ClaimFileRetries\"=\"many\"", GetClaimFileRetries, 3},
        {"\"ClaimFileRetries\"=\" 12 \"", GetClaimFileRetries, 12},
        {"\"PharmacyConfig\"=dword:00000008", GetPharmacyConfig, 0},
        {"\"PharmacyConfig\"=dword:00000007", GetPharmacyConfig, 7},
        {"\"Left\"=dword:ffffff9c", GetLeft, -100},
    };
    for (const IntCase& c : cases) {
        Store(kMainKey + c.stored + "\n");
        EXPECT_EQ(c.getter(), c.expected) << c.stored;
    }
    const IntCase networkCases[] = {
        {"\"NetConnectType\"=dword:00000005", NetConnectType, 0},
        {"\"NetConnectType\"=dword:00000002", NetConnectType, 2},
        {"\"NetConnectType\"=\"1\"", NetConnectType, 1},
    };
    for (const IntCase& c : networkCases) {
        Store(kNetworkKey + c.stored + "\n");
        EXPECT_EQ(c.getter(), c.expected) << c.stored;
    }
}

TEST_F(SettingsValues, IntegerStoredAsTextStaysText)
{
    Store(kMainKey + "\"OutboundPort1A\"=\"6105\"\n");
    SetOutboundPort1A(6106);
    EXPECT_EQ(GetOutboundPort1A(), 6106);
    std::string text = ReadWholeFile(home.settingsFile());
    EXPECT_NE(text.find("\"OutboundPort1A\"=\"6106\""), std::string::npos) << text;
    SetOutboundPort1B(6107);
    EXPECT_NE(ReadWholeFile(home.settingsFile()).find("\"OutboundPort1B\"=dword:000017db"),
              std::string::npos);
}

TEST_F(SettingsValues, BooleanReadRules)
{
    const struct {
        const char* stored;
        bool expected;
    } cases[] = {
        {"dword:00000001", true}, {"dword:00000000", false}, {"\"1\"", true},
        {"\"0\"", false},         {"\"yes\"", true},         {"\"-3\"", true},
    };
    for (const auto& c : cases) {
        Store(kSerialKey + "\"EnqHalfSecDelay\"=" + c.stored + "\n");
        EXPECT_EQ(GetEnqHalfSecDelay(), c.expected) << c.stored;
    }
    Store(kMainKey + "\"EnableDebugMessages\"=\"yes\"\n");
    EXPECT_FALSE(GetEnableDebugMessages());
}

TEST_F(SettingsValues, BooleansAreWrittenAsZeroOrOneText)
{
    SetEnableDebugMessages(true);
    SetVisa2(false);
    std::string text = ReadWholeFile(home.settingsFile());
    EXPECT_NE(text.find("\"EnableDebugMessages\"=\"1\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"Visa2\"=\"0\""), std::string::npos) << text;
    EXPECT_TRUE(GetEnableDebugMessages());
    EXPECT_FALSE(GetVisa2());
}

TEST_F(SettingsValues, RealIsAnEightByteDouble)
{
    Store(kSerialKey + "\"SPEnqPause\"=hex:00,00,00,00,00,00,f8,3f\n");
    EXPECT_DOUBLE_EQ(GetSPEnqPause(), 1.5);
    SetSPEnqPause(0.25);
    EXPECT_NE(ReadWholeFile(home.settingsFile()).find("\"SPEnqPause\"=hex:00,00,00,00,00,00,d0,3f"),
              std::string::npos);
    EXPECT_DOUBLE_EQ(GetSPEnqPause(), 0.25);
}

TEST_F(SettingsValues, WrongTypesAreInvalidData)
{
    const struct {
        std::string body;
        std::function<void()> read;
        const char* name;
    } cases[] = {
        {kMainKey + "\"ClaimFileRetries\"=hex:01,02", [] { GetClaimFileRetries(); },
         "ClaimFileRetries"},
        {kMainKey + "\"SystemID\"=dword:00000001", [] { GetSystemID(); }, "SystemID"},
        {kMainKey + "\"DebugFileName\"=hex(2):43,00,00,00", [] { GetDebugFileName(); },
         "DebugFileName"},
        {kSerialKey + "\"SPEnqPause\"=\"0.5\"", [] { GetSPEnqPause(); }, "SPEnqPause"},
        {kSerialKey + "\"SPEnqPause\"=hex:00,00,00,00", [] { GetSPEnqPause(); }, "SPEnqPause"},
        {kMainKey + "\"Visible\"=hex:01", [] { GetVisible(); }, "Visible"},
    };
    for (const auto& c : cases) {
        Store(c.body + "\n");
        try {
            c.read();
            ADD_FAILURE() << "no error for " << c.body;
        } catch (const SettingsError& error) {
            EXPECT_EQ(std::string(error.what()), std::string("Invalid data type for '") + c.name + "'");
        }
    }
}

TEST_F(SettingsValues, ClaimFileMaskFromLegacyFolder)
{
    const struct {
        const char* folder;
        const char* mask;
    } cases[] = {
        {"/srv/claims", "/srv/claims/*.clm"},
        {"/srv/claims/", "/srv/claims/*.clm"},
        {"C:\\\\Claims", "C:\\Claims/*.clm"},
        {"C:\\\\Claims\\\\", "C:\\Claims\\*.clm"},
        {"C:", "C:*.clm"},
    };
    for (const auto& c : cases) {
        Store(kMainKey + "\"ClaimDataDirectory\"=\"" + c.folder + "\"\n");
        EXPECT_EQ(GetClaimFileMask(), c.mask) << c.folder;
    }
    Store(kMainKey + "\"ClaimDataDirectory\"=\"\"\n");
    EXPECT_EQ(GetClaimFileMask(), home.path() + "/TuqData/*.clm");
    Store(kMainKey + "\"ClaimDataDirectory\"=\"/srv/old\"\n\"ClaimFileMask\"=\"/srv/new/*.txt\"\n");
    EXPECT_EQ(GetClaimFileMask(), "/srv/new/*.txt");
}

TEST_F(SettingsValues, PharmacyConfigFromLegacyFlag)
{
    Store(kSerialKey + "\"Is3PMXenixSystem\"=\"1\"\n");
    EXPECT_EQ(GetPharmacyConfig(), 1);
    Store(kSerialKey + "\"Is3PMXenixSystem\"=\"0\"\n");
    EXPECT_EQ(GetPharmacyConfig(), 0);
    Store(kMainKey + "\"PharmacyConfig\"=dword:00000004\n\n" + kSerialKey +
          "\"Is3PMXenixSystem\"=\"1\"\n");
    EXPECT_EQ(GetPharmacyConfig(), 4);
    Store(kMainKey + "\"PharmacyConfig\"=dword:00000000\n\n" + kSerialKey +
          "\"Is3PMXenixSystem\"=\"1\"\n");
    EXPECT_EQ(GetPharmacyConfig(), 0);
}

TEST_F(SettingsValues, HostNameDefaults)
{
    const struct {
        std::optional<std::string> host;
        std::string address;
        std::string inbound;
        std::string systemId;
    } cases[] = {
        {"pharmacy-server-01", "10.1.2.3", "pharmacy-server-01", "PHARMACY"},
        {"12345", "10.1.2.3", "10.1.2.3", "12345"},
        {"12345", "", "localhost", "12345"},
        {std::nullopt, "10.1.2.3", "10.1.2.3", ""},
        {"", "", "localhost", ""},
        {"lab/box", "10.0.0.1", "lab/box", "BOX"},
        {"till\\", "10.0.0.1", "till\\", "TILL"},
        {"front", "10.0.0.1", "front", "FRONT"},
    };
    for (const auto& c : cases) {
        SetHostNameProvider([&] { return c.host; });
        SetLocalAddressProvider([&] { return c.address; });
        EXPECT_EQ(GetInboundHostName(), c.inbound) << c.host.value_or("(none)");
        EXPECT_EQ(GetSystemID(), c.systemId) << c.host.value_or("(none)");
    }
    Store(kMainKey + "\"InboundHostName\"=\"relay.local\"\n\"SystemID\"=\"STORE9\"\n");
    EXPECT_EQ(GetInboundHostName(), "relay.local");
    EXPECT_EQ(GetSystemID(), "STORE9");
}

TEST_F(SettingsValues, DataSourceTypeSelection)
{
    SetDataSourceSerialPort();
    EXPECT_EQ(GetDataSourceType(), "SerialPort");
    EXPECT_TRUE(IsDataSourceSerialPort());
    EXPECT_FALSE(IsDataSourceFile());
    SetDataSourceType("socketport");
    EXPECT_TRUE(IsDataSourceSocketPort());
    SetDataSourceFile();
    EXPECT_TRUE(IsDataSourceFile());
    ClearDataSourceType();
    EXPECT_EQ(GetDataSourceType(), "");
    EXPECT_FALSE(IsDataSourceFile() || IsDataSourceSerialPort() || IsDataSourceSocketPort());
}

TEST_F(SettingsValues, TapiConfigRoundTripAndDelete)
{
    TapiConfigBlock absent = ReadTapiConfig();
    EXPECT_EQ(absent.size, 0u);
    EXPECT_EQ(absent.data, (std::array<uint8_t, 1024>{}));

    TapiConfigBlock block;
    block.size = 300;
    for (uint32_t i = 0; i < block.size; ++i)
        block.data[i] = static_cast<uint8_t>(i * 7);
    block.data[600] = 0xEE;  // beyond size: not stored
    WriteTapiConfig(block);
    TapiConfigBlock read = ReadTapiConfig();
    EXPECT_EQ(read.size, 300u);
    EXPECT_TRUE(std::equal(read.data.begin(), read.data.begin() + 300, block.data.begin()));
    EXPECT_EQ(read.data[600], 0);

    DeleteTapiConfig();
    EXPECT_FALSE(ValueExists(SettingsSection::Main, "TapiConfig"));
    EXPECT_EQ(ReadTapiConfig().size, 0u);

    block.size = 1025;
    EXPECT_THROW(WriteTapiConfig(block), SettingsError);
}

TEST_F(SettingsValues, OversizedTapiConfigIsInvalidData)
{
    std::string bytes;
    for (int i = 0; i < 1025; ++i)
        bytes += i ? ",00" : "00";
    Store(kMainKey + "\"TapiConfig\"=hex:" + bytes + "\n");
    EXPECT_THROW(ReadTapiConfig(), SettingsError);
}

TEST_F(SettingsValues, TextWithLineBreakIsRefused)
{
    SetDialUpPwd("before");
    EXPECT_THROW(SetDialUpPwd("two\nlines"), SettingsError);
    EXPECT_EQ(GetDialUpPwd(), "before");
}

}  // namespace
