#include "config/settings.h"
#include "test_env.h"

#include <fstream>
#include <gtest/gtest.h>

namespace {

const std::string kMainKey = "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\n";
const std::string kNetworkKey = "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Network]\n";
const std::string kSerialKey =
    "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\InputSerialPort]\n";

const std::string kHost1 = "\"EnableNetwork1\"=\"1\"\n\"OutboundHostName1\"=\"switch\"\n";
const std::string kTwofish = "\"EnableOutboundTwofishSecurity\"=\"1\"\n";
const std::string kSsl = "\"EnableOutboundSSLCommunications\"=\"1\"\n"
                         "\"SSLCertificateFileName\"=\"c.pem\"\n\"SSLCAFileName\"=\"ca.pem\"\n"
                         "\"SSLClientPassword\"=\"pw\"\n";
const std::string kInbound = "\"InboundHostName\"=\"127.0.0.1\"\n\"InboundPort\"=dword:00001f90\n";

struct Case {
    std::string body;
    bool expected;
};

class SettingsPredicates : public ::testing::Test {
protected:
    void Store(const std::string& body) { home.writeSettings("REGEDIT4\n\n" + body); }
    void Check(const Case* cases, size_t count, bool (*predicate)())
    {
        for (size_t i = 0; i < count; ++i) {
            Store(cases[i].body);
            EXPECT_EQ(predicate(), cases[i].expected) << cases[i].body;
        }
    }

    TestHome home;
};

TEST_F(SettingsPredicates, OutboundNetwork)
{
    const Case cases[] = {
        {"", false},
        {kMainKey + kHost1, false},  // neither SSL nor Twofish
        {kMainKey + kHost1 + kTwofish, true},
        {kMainKey + kHost1 + kSsl, true},
        {kMainKey + kHost1 + kSsl + "\"SSLClientPassword\"=\"\"\n" + kTwofish, false},
        {kMainKey + "\"EnableNetwork1\"=\"1\"\n\"OutboundHostName1\"=\"\"\n" + kTwofish, false},
        {kMainKey + kHost1 + "\"OutboundPort1A\"=dword:0\n\"OutboundPort1B\"=dword:0\n" + kTwofish,
         false},
        {kMainKey + kHost1 + "\"OutboundPort1A\"=dword:0\n" + kTwofish, true},
        {kMainKey + "\"EnableNetwork3\"=\"1\"\n" + kTwofish, true},  // default host 3
        {kMainKey + "\"OutboundHostName1\"=\"switch\"\n" + kTwofish, false},
    };
    Check(cases, std::size(cases), IsOutboundNetworkConfigured);
}

TEST_F(SettingsPredicates, InboundSocketAndDialUp)
{
    const Case inbound[] = {
        {kMainKey + kInbound, true},
        {kMainKey + "\"InboundHostName\"=\"\"\n\"InboundPort\"=dword:00001f90\n", false},
        {kMainKey + "\"InboundHostName\"=\"h\"\n", false},
        {kMainKey + "\"InboundPort\"=dword:00001f90\n", true},  // host defaults to this computer
    };
    Check(inbound, std::size(inbound), IsInboundSocketConfigured);

    const Case dialUp[] = {
        {kMainKey + "\"EnableNetwork2\"=\"1\"\n\n" + kNetworkKey + "\"NetConnectType\"=dword:2\n",
         true},
        {kNetworkKey + "\"NetConnectType\"=dword:2\n", false},
        {kMainKey + "\"EnableNetwork2\"=\"1\"\n", false},
    };
    Check(dialUp, std::size(dialUp), IsDialUpSelected);
}

TEST_F(SettingsPredicates, ConnectionConfigured)
{
    const std::string network = kMainKey + kHost1 + kTwofish + kInbound;
    const std::string modem = "\"ConnectViaTapi\"=\"1\"\n\"TapiDeviceName\"=\"/dev/null\"\n";
    const Case cases[] = {
        {network, true},
        {network + "\n" + kNetworkKey + "\"NetConnectType\"=dword:2\n", true},
        {network + "\n" + kNetworkKey + "\"NetConnectType\"=dword:0\n", false},
        {kMainKey + kHost1 + kTwofish, false},  // no inbound port for the relay
        {kMainKey + modem, true},
        {kMainKey + modem + "\"PhoneNumber\"=\"\"\n", false},
        {kMainKey + "\"ConnectViaTapi\"=\"1\"\n\"TapiDeviceName\"=\"/dev/no-such-modem\"\n", false},
        {kMainKey + "\"ConnectViaTapi\"=\"0\"\n\"TapiDeviceName\"=\"/dev/null\"\n", false},
        {kMainKey + kHost1 + kTwofish + modem + "\n" + kNetworkKey + "\"NetConnectType\"=dword:0\n",
         true},
    };
    Check(cases, std::size(cases), IsConnectionConfigured);
}

TEST_F(SettingsPredicates, DataSourceConfigured)
{
    const Case cases[] = {
        {"", true},  // file source with the default mask
        {kMainKey + "\"ClaimFileMask\"=\"\"\n", false},
        {kMainKey + "\"DataSourceType\"=\"serialport\"\n", false},
        {kMainKey + "\"DataSourceType\"=\"SerialPort\"\n\n" + kSerialKey +
             "\"ComNumber\"=dword:2\n",
         true},
        {kMainKey + "\"DataSourceType\"=\"SocketPort\"\n", false},
        {kMainKey + "\"DataSourceType\"=\"SocketPort\"\n" + kInbound, true},
        {kMainKey + "\"DataSourceType\"=\"Modem\"\n", false},
        {kMainKey + "\"DataSourceType\"=\"\"\n", false},
    };
    Check(cases, std::size(cases), IsDataSourceConfigured);
}

TEST_F(SettingsPredicates, ComPortDevices)
{
    EXPECT_EQ(ComPortDevice(5), home.deviceDir() + "/ttyS4");
    {
        ScopedEnvironment machine;
        machine.set("CORVANE_DEVICE_DIR", std::nullopt);
        EXPECT_EQ(ComPortDevice(5), "/dev/ttyS4");
    }
    SetComPortDevice(5, "/dev/null");
    SetComPortDevice(6, home.path() + "/no-such-device");
    const std::string regularFile = home.path() + "/plain";
    std::ofstream(regularFile) << "x";
    SetComPortDevice(7, regularFile);
    EXPECT_EQ(ComPortDevice(5), "/dev/null");

    std::vector<int> existing = ExistingComPorts();
    EXPECT_NE(std::find(existing.begin(), existing.end(), 5), existing.end());
    EXPECT_EQ(std::find(existing.begin(), existing.end(), 6), existing.end());
    EXPECT_EQ(std::find(existing.begin(), existing.end(), 7), existing.end());

    // A named configuration may map a port of its own.
    SetConfigName("Store2");
    EXPECT_EQ(ComPortDevice(5), "/dev/null");
    home.writeSettings(ReadWholeFile(home.settingsFile()) +
                       "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Store2\\Ports]\n"
                       "\"COM5\"=\"/dev/zero\"\n");
    EXPECT_EQ(ComPortDevice(5), "/dev/zero");
    SetConfigName("");
    EXPECT_EQ(ComPortDevice(5), "/dev/null");
}

TEST_F(SettingsPredicates, TapiDeviceInstalled)
{
    SetComPortDevice(3, "/dev/null");
    SetComPortDevice(4, home.path() + "/gone");
    const struct {
        std::string name;
        bool installed;
    } cases[] = {
        {"COM3", true},  {"/dev/null", true},    {"COM4", false}, {"com3", false},
        {"/dev/NULL", false}, {"dev/null", false}, {"", false},     {"COM", false},
        {"COM3x", false}, {home.path(), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsTapiDeviceInstalled(c.name), c.installed) << c.name;
}

}  // namespace
