#include "sim_support.h"
#include "test_env.h"
#include "virtual_display.h"
#include "wait_for.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <optional>

namespace {

QString CorvaneBinary()
{
    return QString::fromStdString(ProgramPath("corvane"));
}

int Count(const std::string& text, const std::string& what)
{
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// The environment of a program that is to open its window on display.
QProcessEnvironment OnDisplay(const QString& display)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("QT_QPA_PLATFORM");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("DISPLAY", display);
    return environment;
}

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logPath = home.path() + "/log.txt";
        home.writeSettings("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Store9]\n"
                           "\"EnableDebugMessages\"=\"1\"\n\"DebugFileName\"=\"" + logPath + "\"\n");
    }
    // Standard error is kept for the test when an environment is given.
    std::unique_ptr<QProcess> Start(const QStringList& args,
                                    std::optional<QProcessEnvironment> environment = std::nullopt)
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(environment ? QProcess::ForwardedOutputChannel : QProcess::ForwardedChannels);
        if (environment)
            process->setProcessEnvironment(*environment);
        process->start(CorvaneBinary(), args);
        EXPECT_TRUE(process->waitForStarted(30000));
        return process;
    }
    std::string Log() const { return ReadWholeFile(logPath); }

    TestHome home;
    std::string logPath;
};

} // namespace

TEST_F(ProcessTest, SecondInstanceLeavesOnlyTheBannerSighupSendsSigtermEnds)
{
    auto first = Start({"-headless", "/config", "Store9"});
    ASSERT_TRUE(WaitFor([&] { return Log().find("End of Options Button Click action.") != std::string::npos; }));

    auto second = Start({"-headless", "-CONFIG", "Store9"});
    ASSERT_TRUE(second->waitForFinished(30000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 1);
    EXPECT_EQ(Count(Log(), "Corvane:  ******** Top of WinMain ********"), 2);

    // Another configuration name runs beside the first.
    auto other = Start({"-headless", "/config", "Other"});
    EXPECT_FALSE(other->waitForFinished(1500));
    EXPECT_EQ(first->state(), QProcess::Running);

    // SIGHUP runs Send: the settings are still incomplete, which it reports.
    ::kill(static_cast<pid_t>(first->processId()), SIGHUP);
    ASSERT_TRUE(WaitFor([&] { return Log().find("Received signal to reload the settings.") != std::string::npos; }));
    ASSERT_TRUE(WaitFor([&] {
        return Count(Log(), "Message: Set Connection and Data Source parameters in the Options Panel.") == 2;
    }));

    ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
    ::kill(static_cast<pid_t>(other->processId()), SIGTERM);
    ASSERT_TRUE(first->waitForFinished(30000));
    ASSERT_TRUE(other->waitForFinished(30000));
    EXPECT_EQ(first->exitCode(), 0);
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);

    std::string log = Log();
    size_t exit = log.find("Exit invoked.");
    size_t end = log.find("Corvane:  End");
    size_t exited = log.find("******** Corvane Exited ********");
    ASSERT_NE(exit, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    ASSERT_NE(exited, std::string::npos);
    EXPECT_LT(exit, end);
    EXPECT_LT(end, exited);
}

// Started again from the desktop, Corvane shows the running one's window;
// headless, the second start only says who serves the configuration.
TEST_F(ProcessTest, SecondStartWithADisplayShowsTheRunningWindow)
{
    std::string claims = home.path() + "/claims";
    QDir().mkpath(QString::fromStdString(claims));
    home.writeSettings("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Store9]\n"
                       "\"EnableDebugMessages\"=\"1\"\n\"DebugFileName\"=\"" + logPath + "\"\n"
                       "\"DataSourceType\"=\"File\"\n\"ClaimFileMask\"=\"" + claims + "/*.clm\"\n"
                       "\"InboundHostName\"=\"127.0.0.1\"\n\"InboundPort\"=dword:" +
                       QString::number(sim::UnusedLoopbackPort(), 16).rightJustified(8, '0').toStdString() + "\n"
                       "\"EnableNetwork1\"=\"1\"\n\"OutboundHostName1\"=\"127.0.0.1\"\n"
                       "\"OutboundPort1A\"=dword:00000009\n\"EnableOutboundTwofishSecurity\"=\"1\"\n");
    QProcessEnvironment offscreen = QProcessEnvironment::systemEnvironment();
    offscreen.insert("QT_QPA_PLATFORM", "offscreen");
    auto first = Start({"/config", "Store9"}, offscreen);
    ASSERT_TRUE(WaitFor([&] { return Log().find("Activated File Data Source timer.") != std::string::npos; }))
        << first->readAllStandardError().toStdString() << Log();

    struct Case {
        QStringList args;
        int exitCode;
        std::string said;
    };
    for (const Case& c :
         {Case{{"/config", "Store9", "-headless"}, 1, "corvane: another Corvane already serves the configuration 'Store9'"},
          Case{{"/config", "Store9"}, 0, "corvane: the Corvane already serving the configuration 'Store9' shows its window"}}) {
        QProcess second;
        second.setProcessEnvironment(offscreen);
        second.start(CorvaneBinary(), c.args);
        ASSERT_TRUE(second.waitForFinished(30000));
        EXPECT_EQ(second.exitCode(), c.exitCode) << c.args.join(' ').toStdString();
        std::string errors = second.readAllStandardError().toStdString();
        EXPECT_NE(errors.find(c.said), std::string::npos) << errors;
    }
    EXPECT_EQ(Count(Log(), "A second start asked for the window."), 1);

    ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
    ASSERT_TRUE(first->waitForFinished(30000));
    // The window was open at exit, so it was shown.
    std::string settings = ReadWholeFile(home.settingsFile());
    EXPECT_NE(settings.find("\"Visible\"=\"1\""), std::string::npos) << settings;
}

TEST_F(ProcessTest, UnreachableDisplayRunsHeadless)
{
    auto process = Start({"/config", "Store9"}, OnDisplay(UnusedDisplayName()));
    ASSERT_TRUE(WaitFor([&] { return Log().find("End of Options Button Click action.") != std::string::npos; }))
        << process->readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
    ASSERT_TRUE(process->waitForFinished(30000));
    EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process->exitCode(), 0);
    std::string errors = process->readAllStandardError().toStdString();
    EXPECT_NE(errors.find("corvane: cannot reach the display ':"), std::string::npos) << errors;
    EXPECT_NE(Log().find("Message: Set Connection and Data Source parameters"), std::string::npos);
}

TEST_F(ProcessTest, SigtermEndsTheProgramWhileItsWindowIsShown)
{
    VirtualDisplay display;
    ASSERT_FALSE(display.name().isEmpty());
    // A first start shows the window; the start-up tick then asks for the
    // settings in a message box.
    auto process = Start({"/config", "Store9"}, OnDisplay(display.name()));
    ASSERT_TRUE(WaitFor([&] { return Log().find("Application File Version:") != std::string::npos; }))
        << process->readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
    ASSERT_TRUE(process->waitForFinished(30000)) << Log();
    EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process->exitCode(), 0);
    std::string log = Log();
    ASSERT_NE(log.find("Exit invoked."), std::string::npos);
    EXPECT_LT(log.find("Exit invoked."), log.find("******** Corvane Exited ********"));
}

// A service shows its progress in the journal: each status text, time-stamped
// on standard error, and what it waits for.
TEST_F(ProcessTest, HeadlessStatusTextsReachStandardError)
{
    std::string claims = home.path() + "/claims";
    QDir().mkpath(QString::fromStdString(claims));
    home.writeSettings("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Store9]\n"
                       "\"DataSourceType\"=\"File\"\n\"ClaimFileMask\"=\"" + claims + "/*.clm\"\n"
                       "\"ClaimFileRetryDelay\"=dword:00000001\n"
                       "\"InboundHostName\"=\"127.0.0.1\"\n\"InboundPort\"=dword:00000009\n"
                       "\"EnableNetwork1\"=\"1\"\n\"OutboundHostName1\"=\"127.0.0.1\"\n"
                       "\"OutboundPort1A\"=dword:00000009\n\"EnableOutboundTwofishSecurity\"=\"1\"\n");
    std::ofstream(claims + "/A.clm") << "CLAIM";
    auto corvane = Start({"/config", "Store9", "-headless"}, QProcessEnvironment::systemEnvironment());
    std::string errors;
    EXPECT_TRUE(WaitFor([&] {
        corvane->waitForReadyRead(100);
        errors += corvane->readAllStandardError().toStdString();
        return errors.find("(Failure 1 of 3)") != std::string::npos;
    })) << errors;
    EXPECT_NE(errors.find(">corvane: Connecting to Tuq Network...\n"), std::string::npos) << errors;
    EXPECT_EQ(errors.front(), '<');
    corvane->terminate();
    EXPECT_TRUE(corvane->waitForFinished(30000));
}

TEST_F(ProcessTest, HelpVersionAndUnknownOptionsEndAtOnce)
{
    struct Case {
        QStringList args;
        int exitCode;
        QString output;  // on standard output, or on standard error for a failure
    };
    for (const Case& c : {Case{{"--help"}, 0, "Usage: corvane"}, Case{{"-V"}, 0, "OpenSSL "},
                          Case{{"--bogus"}, 2, "corvane: unknown option '--bogus'"}}) {
        QProcess corvane;
        corvane.start(CorvaneBinary(), c.args);
        ASSERT_TRUE(corvane.waitForFinished(30000)) << c.args.join(' ').toStdString();
        EXPECT_EQ(corvane.exitCode(), c.exitCode) << c.args.join(' ').toStdString();
        QString text = c.exitCode == 0 ? corvane.readAllStandardOutput() : corvane.readAllStandardError();
        EXPECT_TRUE(text.contains(c.output)) << text.toStdString();
    }
    EXPECT_EQ(Log().find("Top of WinMain"), std::string::npos);
}

// Started on a spoilt file, Corvane would run on defaults nobody chose; a
// file spoilt while it runs is said at each reload and it goes on.
TEST_F(ProcessTest, UnreadableSettingsEndAStartAndAreSaidAtEachReload)
{
    QDir(QString::fromStdString(home.path())).mkpath("TuqData");
    const std::string broken = "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\n"
                               "\"DebugFileName\"=\"C:\\TuqData\\log.txt\"\n";
    const std::string where = home.settingsFile() + " line 3 cannot be read";
    home.writeSettings(broken);
    for (const QStringList& args : {QStringList{"-headless"}, QStringList{"--print-settings"}}) {
        QProcess corvane;
        corvane.start(CorvaneBinary(), args);
        ASSERT_TRUE(corvane.waitForFinished(30000)) << args.join(' ').toStdString();
        EXPECT_EQ(corvane.exitCode(), 1) << args.join(' ').toStdString();
        std::string errors = corvane.readAllStandardError().toStdString();
        EXPECT_EQ(errors.rfind("corvane: settings file ", 0), 0u) << errors;
        EXPECT_NE(errors.find(where), std::string::npos) << errors;
        EXPECT_TRUE(corvane.readAllStandardOutput().isEmpty());
    }

    home.writeSettings("REGEDIT4\n");
    QProcess corvane;
    corvane.setReadChannel(QProcess::StandardError);
    corvane.start(CorvaneBinary(), {"-headless"});
    ASSERT_TRUE(corvane.waitForStarted(30000));
    std::string errors;
    auto said = [&](const std::string& what, int times) {
        return WaitFor([&] {
            corvane.waitForReadyRead(100);
            errors += corvane.readAllStandardError().toStdString();
            return Count(errors, what) >= times;
        });
    };
    // Incomplete settings make it wait for a reload: it is running.
    ASSERT_TRUE(said("Waiting: ", 1)) << errors;
    home.writeSettings(broken);
    ::kill(static_cast<pid_t>(corvane.processId()), SIGHUP);
    ASSERT_TRUE(said("corvane: error: The general log is off: ", 1)) << errors;
    EXPECT_NE(errors.find(where), std::string::npos) << errors;
    ::kill(static_cast<pid_t>(corvane.processId()), SIGHUP);
    ASSERT_TRUE(said("corvane: error: The general log is off: ", 2)) << "a reload says it again: " << errors;
    ::kill(static_cast<pid_t>(corvane.processId()), SIGTERM);
    ASSERT_TRUE(corvane.waitForFinished(30000));
    EXPECT_EQ(corvane.exitCode(), 0);
    // Once by the start that ended, once by the running Corvane.
    EXPECT_EQ(Count(ReadWholeFile(home.path() + "/TuqData/TuqLog.txt"), "Settings cannot be read: "), 2);
}
