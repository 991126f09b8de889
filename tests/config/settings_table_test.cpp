#include "config/reg_file.h"
#include "config/settings.h"
#include "config/settings_table.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::string ExampleText()
{
    std::ifstream file(std::string(CORVANE_SOURCE_DIR) + "/docs/Corvane.reg.example", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool IsSettingName(const std::string& keyPath, const std::string& name)
{
    if (keyPath.ends_with("\\Ports"))
        return name.starts_with("COM");
    for (const SettingDefinition& setting : kSettingsTable)
        if (SameName(std::string(setting.name), name))
            return true;
    return false;
}

class SettingsExample : public ::testing::Test {
protected:
    void TearDown() override { SetConfigName(""); }
    TestHome home;
};

// A misspelt name in the example would be ignored without a word.
TEST_F(SettingsExample, EveryNameIsASetting)
{
    RegDocument document = RegDocument::Parse(ExampleText());
    int values = 0;
    document.ForEachValue([&](const std::string& keyPath, const RegValue& value) {
        ++values;
        EXPECT_TRUE(IsSettingName(keyPath, value.name)) << keyPath << " " << value.name;
    });
    EXPECT_GT(values, 0);
}

TEST_F(SettingsExample, EachConfigurationIsComplete)
{
    home.writeSettings(ExampleText());
    struct Case {
        const char* config;
        bool (*isSource)();
    };
    for (const Case& c : {Case{"Files", IsDataSourceFile}, Case{"Serial", IsDataSourceSerialPort},
                          Case{"Socket", IsDataSourceSocketPort}}) {
        SetConfigName(c.config);
        EXPECT_TRUE(c.isSource()) << c.config;
        EXPECT_TRUE(IsDataSourceConfigured()) << c.config;
        EXPECT_TRUE(IsConnectionConfigured()) << c.config;
    }
    SetConfigName("Serial");
    EXPECT_EQ(ComPortDevice(GetComNumber()), "/dev/ttyUSB0");
    EXPECT_EQ(GetPharmacyConfig(), 2);
    SetConfigName("Files");
    EXPECT_EQ(GetInboundPort(), 6670);
}

}  // namespace
