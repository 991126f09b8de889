#include "options_settings.h"
#include "wait_for.h"

#include <QDir>
#include <QProcess>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct Finished {
    int exitCode = -1;
    std::string out;
};

Finished Corvane(const QStringList& args)
{
    QProcess process;
    process.start(QString::fromStdString(ProgramPath("corvane")), args);
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitCode(), process.readAllStandardOutput().toStdString()};
}

// Host 1 without a name, claims in a folder that is not there, no System ID.
void Break(OptionsSettings& settings, const std::string& home)
{
    settings.main["OutboundHostName1"] = Text("");
    settings.main["ClaimFileMask"] = Text(home + "/gone/*.clm");
    settings.main["SystemID"] = Text("");
}

std::string BrokenReport(const std::string& home)
{
    return "OutboundHostName1: Host 1 is selected but host name/IP address is not specified.\n"
           "ClaimFileMask: Claim file folder '" + home + "/gone/' does not exist.\n"
           "SystemID: Please specify a System ID.  This string will be included at the end of generated error "
           "responses.\n";
}

}  // namespace

TEST(CheckConfigTest, GoodSettingsPassBrokenOnesAreListed)
{
    TestHome home;
    OptionsSettings settings(home);
    settings.Write(home);
    Finished good = Corvane({"--check-config"});
    EXPECT_EQ(good.exitCode, 0);
    EXPECT_EQ(good.out, "Settings of the default configuration in " + home.settingsFile() + " pass all 31 checks.\n");

    Break(settings, home.path());
    settings.Write(home);
    Finished broken = Corvane({"--check-config"});
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_EQ(broken.out, BrokenReport(home.path()));
    // Missing folders are reported, never created.
    EXPECT_FALSE(QDir(QString::fromStdString(home.path() + "/gone")).exists());

    // /config NAME checks that configuration's key.
    OptionsSettings named(home);
    named.Write(home, "Store2");
    Finished store2 = Corvane({"/config", "Store2", "--check-config"});
    EXPECT_EQ(store2.exitCode, 0);
    EXPECT_NE(store2.out.find("configuration 'Store2'"), std::string::npos);

    home.writeSettings("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\n\"SystemID\"=oops\n");
    Finished unreadable = Corvane({"--check-config"});
    EXPECT_EQ(unreadable.exitCode, 2);
    EXPECT_NE(unreadable.out.find(home.settingsFile()), std::string::npos);
}

// Headless, a start with incomplete settings reports what the panel would
// have said; once the file is fixed, SIGHUP opens the data source.
TEST(CheckConfigTest, HeadlessStartReportsThenSighupOpens)
{
    TestHome home;
    std::string logPath = home.path() + "/TuqLog.txt";
    OptionsSettings settings(home);
    settings.main["EnableDebugMessages"] = Text("1");
    settings.main["DebugFileName"] = Text(logPath);
    OptionsSettings fixed = settings;
    Break(settings, home.path());
    settings.Write(home);

    QProcess corvane;
    corvane.start(QString::fromStdString(ProgramPath("corvane")), {"-headless"});
    ASSERT_TRUE(corvane.waitForStarted(30000));
    auto log = [&] { return ReadWholeFile(logPath); };
    ASSERT_TRUE(WaitFor([&] { return log().find("End of Options Button Click action.") != std::string::npos; }));
    std::string report = BrokenReport(home.path());
    for (size_t start = 0, end; (end = report.find('\n', start)) != std::string::npos; start = end + 1)
        EXPECT_NE(log().find("Message: " + report.substr(start, end - start)), std::string::npos);
    EXPECT_EQ(log().find("Activated File Data Source timer."), std::string::npos);

    fixed.Write(home);
    ::kill(static_cast<pid_t>(corvane.processId()), SIGHUP);
    EXPECT_TRUE(WaitFor([&] { return log().find("OpenDataSource:  Activated File Data Source timer.") != std::string::npos; }));

    // Beside a running Corvane of the same configuration, whose relay may
    // hold the inbound port, that port is not tried.
    Finished beside = Corvane({"--check-config"});
    EXPECT_EQ(beside.exitCode, 0);
    EXPECT_NE(beside.out.find("(the inbound port was not tried: Corvane is running with them)"), std::string::npos);

    ::kill(static_cast<pid_t>(corvane.processId()), SIGTERM);
    ASSERT_TRUE(corvane.waitForFinished(30000));
    EXPECT_EQ(corvane.exitCode(), 0);
    std::string err = corvane.readAllStandardError().toStdString();
    EXPECT_NE(err.find("corvane: SystemID: Please specify a System ID."), std::string::npos);
}
