#include "base/general_log.h"
#include "config/log_settings.h"
#include "base/net_log.h"
#include "base/format_text.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace {

// A private home whose settings turn the general log on or off.
class GeneralLogTest : public ::testing::Test {
protected:
    void UseSettings(bool enabled, const std::string& fileName, bool serial = false)
    {
        home.writeSettings("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\n"
                           "\"EnableDebugMessages\"=\"" + std::string(enabled ? "1" : "0") + "\"\n"
                           "\"EnableSerialPortMessages\"=dword:0000000" + (serial ? "1" : "0") + "\n"
                           "\"DebugFileName\"=\"" + fileName + "\"\n");
        LoadLogSettings();
    }
    std::string LogPath() const { return home.path() + "/general.txt"; }

    TestHome home;
};

std::vector<std::string> recorded;

int RecordingWriter(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    recorded.push_back(FormatV(format, args));
    va_end(args);
    return 0;
}

} // namespace

TEST_F(GeneralLogTest, DisabledLogCreatesNoFile)
{
    UseSettings(false, LogPath());
    EXPECT_EQ(LogMsg("hello %d", 1), 0);
    EXPECT_FALSE(PathExists(LogPath()));
}

TEST_F(GeneralLogTest, LineHasStampThenMessage)
{
    UseSettings(true, LogPath());
    ASSERT_EQ(LogMsg("Claim %s(%d)", "A", 7), 0);
    ASSERT_EQ(LogMsg(""), 0);
    std::vector<std::string> lines = SplitLines(ReadWholeFile(LogPath()));
    ASSERT_EQ(lines.size(), 2u);
    std::regex stamp(R"(<\d{8} \d{2}:\d{2}:\d{2}\.\d{3}>)");
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(<\d{8} \d{2}:\d{2}:\d{2}\.\d{3}>Claim A\(7\))")))
        << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], stamp)) << lines[1];
    EXPECT_EQ(ReadWholeFile(LogPath()).back(), '\n');
}

TEST_F(GeneralLogTest, MissingFolderDropsTheLineQuietly)
{
    std::string path = home.path() + "/no/such/folder/log.txt";
    UseSettings(true, path);
    EXPECT_EQ(LogMsg("lost"), 1);
    EXPECT_FALSE(PathExists(path));
    EXPECT_FALSE(PathExists(home.path() + "/no"));
}

TEST_F(GeneralLogTest, BackslashPathsReachTheFileSystem)
{
    std::string windowsStyle = home.path() + "\\\\general.txt"; // escaped in the settings file
    UseSettings(true, windowsStyle);
    ASSERT_EQ(LogMsg("x"), 0);
    EXPECT_TRUE(PathExists(LogPath()));
}

TEST_F(GeneralLogTest, ReloadTakesNewFileName)
{
    UseSettings(true, LogPath());
    LogMsg("first");
    std::string second = home.path() + "/second.txt";
    UseSettings(true, second);
    LogMsg("second");
    EXPECT_EQ(SplitLines(ReadWholeFile(LogPath())).size(), 1u);
    EXPECT_EQ(SplitLines(ReadWholeFile(second)).size(), 1u);
}

TEST_F(GeneralLogTest, DumpWritesOneLinePerByte)
{
    UseSettings(true, LogPath());
    const char bytes[] = {'A', 0x1C, '~', static_cast<char>(0xFF)};
    ASSERT_EQ(LogDump("  Claim", bytes, 4), 0);
    std::vector<std::string> lines = SplitLines(ReadWholeFile(LogPath()));
    ASSERT_EQ(lines.size(), 4u);
    const char* expected[] = {"  Claim[000] = (A)", "  Claim[001] = (0x1c)", "  Claim[002] = (~)",
                              "  Claim[003] = (0xff)"};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(lines[i].substr(23), expected[i]);
}

TEST_F(GeneralLogTest, DumpSkipsLeadingNulEmptyAndMissing)
{
    UseSettings(true, LogPath());
    const char leadingNul[] = {0, 'A', 'B'};
    EXPECT_EQ(LogDump("x", leadingNul, 3), 0);
    EXPECT_EQ(LogDump("x", "AB", 0), 0);
    EXPECT_EQ(LogDump("x", nullptr, 2), 0);
    EXPECT_FALSE(PathExists(LogPath()));
    EXPECT_EQ(LogDump(nullptr, "Z", 1), 0);
    EXPECT_EQ(SplitLines(ReadWholeFile(LogPath())).at(0).substr(23), "[000] = (Z)");
}

TEST_F(GeneralLogTest, VersionLineShowsCompiledVersion)
{
    UseSettings(true, LogPath());
    LogVersion();
    EXPECT_EQ(SplitLines(ReadWholeFile(LogPath())).at(0).substr(23),
              std::string("Application File Version: '") + CORVANE_VERSION + "'");
}

TEST_F(GeneralLogTest, SerialLoggingNeedsBothFlags)
{
    UseSettings(true, LogPath(), true);
    EXPECT_TRUE(SerialPortLoggingEnabled());
    UseSettings(false, LogPath(), true);
    EXPECT_FALSE(SerialPortLoggingEnabled());
    UseSettings(true, LogPath(), false);
    EXPECT_FALSE(SerialPortLoggingEnabled());
}

TEST(PrintableTextTest, RendersNonPrintableBytesAsHex)
{
    struct Case {
        std::string in, out;
    } cases[] = {
        {std::string("\x02" "AB\x03"), "\\x02AB\\x03"},
        {std::string("\xFF"), "\\xFF"},
        {std::string("a\0b", 3), "a\\x00b"},
        {std::string("\x1C\x7F ~"), "\\x1C\\x7F ~"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PrintableText(c.in), c.out);
}

TEST(CheckNcpdpDataTest, ReportsEachOffendingByteAfterOneHeading)
{
    recorded.clear();
    const std::string claim = std::string("ABCDE\nF\x1C\x1D\x1EG\x02\x03\x04\x05\x06\t\r\x15\x7F\x80", 21) + std::string(1, '\0');
    CheckNcpdpData(claim.data(), static_cast<int>(claim.size()), RecordingWriter);
    std::vector<std::string> expected = {
        "Possible Invalid NCPDP Data:",
        "  Index(5)  Value(0x0a, Line Feed)",
        "  Index(11)  Value(0x02, STX)",
        "  Index(12)  Value(0x03, ETX)",
        "  Index(13)  Value(0x04, EOT)",
        "  Index(14)  Value(0x05, ENQ)",
        "  Index(15)  Value(0x06, ACK)",
        "  Index(16)  Value(0x09, TAB)",
        "  Index(17)  Value(0x0d, Carriage Return)",
        "  Index(18)  Value(0x15, NAK)",
        "  Index(19)  Value(0x7f)",
        "  Index(20)  Value(0x80)",
        "  Index(21)  Value(0x00, NUL)",
    };
    EXPECT_EQ(recorded, expected);
}

TEST(CheckNcpdpDataTest, CleanClaimOrMissingPartsWriteNothing)
{
    recorded.clear();
    const std::string clean = "AM01\x1C" "C2X\x1D\x1E ~";
    CheckNcpdpData(clean.data(), static_cast<int>(clean.size()), RecordingWriter);
    CheckNcpdpData(nullptr, 5, RecordingWriter);
    CheckNcpdpData("\n", 1, nullptr);
    EXPECT_TRUE(recorded.empty());
}

TEST_F(GeneralLogTest, BothLogsAreCreatedForTheOwnerOnly)
{
    mode_t previous = ::umask(0);
    UseSettings(true, LogPath());
    LogMsg("claim for a patient");
    std::string netPath = home.path() + "/net.txt";
    mxLogFile(netPath.c_str());
    mxLog("claim for a patient");
    mxLogFile(nullptr);
    ::umask(previous);
    for (const std::string& path : {LogPath(), netPath}) {
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0) << path;
        EXPECT_EQ(info.st_mode & 0777, 0600u) << path;
    }
}

