#include "app/command_line.h"

#include <gtest/gtest.h>

TEST(CommandLineTest, ConfigNameRules)
{
    struct Case {
        std::vector<std::string> args;
        std::optional<std::string> name;
    } cases[] = {
        {{}, std::nullopt},
        {{"/config"}, std::nullopt},                      // last argument is never a switch
        {{"-nosecurity", "/config"}, std::nullopt},
        {{"/CONFIG", "Store2"}, "Store2"},                 // switch ignores case, name keeps it
        {{"-Config", "store2"}, "store2"},
        {{"/config", "A", "/config", "B"}, "A"},           // the first one wins
        {{"/notrayicon", "-config", "X Y"}, "X Y"},
        {{"config", "X"}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseCommandLine(c.args).configName, c.name) << ::testing::PrintToString(c.args);
}

TEST(CommandLineTest, FlagsAnywhereIgnoringCase)
{
    CommandLine line = ParseCommandLine({"-NoSecurity", "/NOTRAYICON", "-headless"});
    EXPECT_TRUE(line.noSecurity);
    EXPECT_TRUE(line.noTrayIcon);
    EXPECT_TRUE(line.headless);

    CommandLine plain = ParseCommandLine({"nosecurity", "--notrayicon"});
    EXPECT_FALSE(plain.noSecurity);
    EXPECT_FALSE(plain.noTrayIcon);
    EXPECT_FALSE(plain.headless);
}

TEST(CommandLineTest, HelpVersionAndUnknownArguments)
{
    struct Case {
        std::vector<std::string> args;
        bool help, version;
        std::optional<std::string> unknown;
    } cases[] = {
        {{"--help"}, true, false, std::nullopt},
        {{"-h"}, true, false, std::nullopt},
        {{"--version"}, false, true, std::nullopt},
        {{"-V"}, false, true, std::nullopt},
        {{"/config", "--help"}, false, false, std::nullopt},  // a configuration's name
        {{"--bogus", "-x"}, false, false, "--bogus"},
        {{"-headless", "nosecurity"}, false, false, "nosecurity"},
        {{"--notrayicon"}, false, false, "--notrayicon"},
        {{"/config"}, false, false, "/config"},  // a name is missing
    };
    for (const Case& c : cases) {
        CommandLine line = ParseCommandLine(c.args);
        SCOPED_TRACE(::testing::PrintToString(c.args));
        EXPECT_EQ(line.help, c.help);
        EXPECT_EQ(line.version, c.version);
        EXPECT_EQ(line.unknown, c.unknown);
    }
    EXPECT_NE(UsageText().find("SIGHUP"), std::string::npos);
}
