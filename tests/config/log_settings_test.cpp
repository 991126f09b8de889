#include "base/general_log.h"
#include "config/log_settings.h"
#include "config/settings.h"
#include "test_env.h"

#include <QDir>
#include <gtest/gtest.h>
#include <sstream>

namespace {

const std::string kMain = "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\n";

TEST(LogSettings, UnreadableFileIsSaidOnceInTheDefaultLog)
{
    TestHome home;
    QDir(QString::fromStdString(home.path())).mkpath("TuqData");
    const std::string defaultLog = home.path() + "/TuqData/TuqLog.txt";
    const std::string typoOnLine3 = "REGEDIT4\n" + kMain + "\"DebugFileName\"=\"C:\\TuqData\\log.txt\"\n";
    const std::string typoOnLine4 = "REGEDIT4\n" + kMain + "\"EnableDebugMessages\"=\"1\"\n\"X\"=\n";
    const std::string sound = "REGEDIT4\n" + kMain + "\"EnableDebugMessages\"=\"0\"\n";

    home.writeSettings(typoOnLine3);
    std::optional<std::string> error = LoadLogSettings();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->rfind("The general log is off: ", 0), 0u) << *error;
    EXPECT_NE(error->find(home.settingsFile() + " line 3 cannot be read"), std::string::npos) << *error;
    EXPECT_EQ(LoadLogSettings(), error) << "every load reports it";
    std::vector<std::string> lines = SplitLines(ReadWholeFile(defaultLog));
    ASSERT_EQ(lines.size(), 1u) << "said once";
    EXPECT_EQ(lines[0].substr(23), "Settings cannot be read: " + *error);

    home.writeSettings(typoOnLine4);
    ASSERT_TRUE(LoadLogSettings());
    EXPECT_NE(SplitLines(ReadWholeFile(defaultLog)).back().find(" line 4 cannot be read"), std::string::npos);

    home.writeSettings(sound);
    EXPECT_EQ(LoadLogSettings(), std::nullopt);
    home.writeSettings(typoOnLine4);
    LoadLogSettings();
    EXPECT_EQ(SplitLines(ReadWholeFile(defaultLog)).size(), 3u) << "said again once it was mended and broken again";
}

} // namespace
