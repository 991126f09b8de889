#include "config/host_identity.h"
#include "config/reg_file.h"
#include "config/settings.h"
#include "config/settings_listing.h"
#include "config/settings_table.h"
#include "test_env.h"

#include <gtest/gtest.h>

namespace {

const std::string kStore2 = "HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Store2";

class SettingsListing : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetHostNameProvider([] { return std::optional<std::string>("pharmacy-server-01"); });
        SetConfigName("Store2");
        home.writeSettings("REGEDIT4\n\n"
                           "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\n"
                           "\"DataSourceType\"=\"File\"\n\n"
                           "[" + kStore2 + "]\n"
                           "\"DataSourceType\"=\"SocketPort\"\n"
                           "\"InboundPort\"=\"6670\"\n"
                           "\"SSLClientPassword\"=\"hunter2\"\n"
                           "\"ClaimFileRetrys\"=dword:00000009\n\n"
                           "[" + kStore2 + "\\InputSerialPort]\n"
                           "\"Is3PMXenixSystem\"=\"1\"\n\n"
                           "[" + kStore2 + "\\Ports]\n"
                           "\"COM1\"=\"/dev/ttyUSB0\"\n");
    }
    void TearDown() override
    {
        SetConfigName("");
        SetHostNameProvider(nullptr);
    }

    TestHome home;
};

size_t Find(const std::string& text, const std::string& what)
{
    size_t at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what << " is missing from:\n" << text;
    return at;
}

TEST_F(SettingsListing, StoredValuesComeFirstThenTheDefaultsAndNoPassword)
{
    std::string text = SettingsInEffect();
    size_t key = Find(text, "[" + kStore2 + "]\n");
    size_t stored = Find(text, "\"InboundPort\"=\"6670\"\n");
    size_t defaults = Find(text, "; Defaults, not in the file:\n");
    size_t retries = Find(text, "\"ClaimFileRetries\"=dword:00000003\n");
    EXPECT_LT(key, stored);
    EXPECT_LT(stored, defaults);
    EXPECT_LT(defaults, retries);
    Find(text, "\"SystemID\"=\"PHARMACY\"\n");
    // The older serial flag decides the profile while none is stored.
    Find(text, "\"PharmacyConfig\"=dword:00000001\n");
    Find(text, "\"SPEnqPause\"=hex:00,00,00,00,00,00,e0,3f\n");
    Find(text, "; \"Width\" is not set: the window's designed width\n");
    Find(text, "; \"SSLClientPassword\" is set (not shown)\n");
    EXPECT_EQ(text.find("hunter2"), std::string::npos);
    Find(text, "; In the file but not settings of Corvane (ignored):\n; \"ClaimFileRetrys\"=dword:00000009\n");
    Find(text, "[" + kStore2 + "\\Ports]\n\"COM1\"=\"/dev/ttyUSB0\"\n");
    // The default configuration's own value is not this configuration's.
    EXPECT_EQ(text.find("\"DataSourceType\"=\"File\""), std::string::npos);
}

// Written back as the file, the listing gives every getter the value it
// had, and leaves nothing to a default.
TEST_F(SettingsListing, ReadsBackAsTheSameSettings)
{
    auto sample = [] {
        return std::make_tuple(GetDataSourceType(), GetInboundPort(), GetClaimFileRetries(), GetClaimFileMask(),
                               GetSystemID(), GetPharmacyConfig(), GetInboundSocketFormat(), GetEnqHalfSecDelay(),
                               GetSPEnqPause(), GetNetConnectType(), GetOutboundPort3B(), ComPortDevice(1));
    };
    auto before = sample();
    std::string text = SettingsInEffect();
    home.writeSettings(text);
    EXPECT_EQ(sample(), before);

    std::string again = SettingsInEffect();
    for (const SettingDefinition& setting : kSettingsTable) {
        bool printed = !setting.noFallback && !setting.secret;
        EXPECT_TRUE(!printed || ValueExists(setting.section, std::string(setting.name))) << setting.name;
    }
    // What is still under a "Defaults" line has no default to print, or is
    // the password that was not shown.
    const std::string marker = "; Defaults, not in the file:\n";
    for (size_t at = again.find(marker); at != std::string::npos; at = again.find(marker, at + 1)) {
        size_t end = again.find("\n\n", at);
        for (size_t line = at + marker.size(); line < end; line = again.find('\n', line) + 1) {
            std::string text = again.substr(line, again.find('\n', line) - line);
            bool password = text == "\"SSLClientPassword\"=\"\"";
            EXPECT_TRUE(text.rfind("; \"", 0) == 0 || password) << text;
        }
    }
}

}  // namespace
