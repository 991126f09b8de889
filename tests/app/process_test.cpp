#include "test_env.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>

namespace {

QString CorvaneBinary()
{
    return QString::fromStdString(ProgramPath("corvane"));
}

// Polls until done() holds; generous, since the machine may be busy.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 30000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

int Count(const std::string& text, const std::string& what)
{
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logPath = home.path() + "/log.txt";
        home.writeSettings("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Store9]\n"
                           "\"EnableDebugMessages\"=\"1\"\n\"DebugFileName\"=\"" + logPath + "\"\n");
    }
    std::unique_ptr<QProcess> Start(const QStringList& args)
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedChannels);
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
    EXPECT_EQ(second->exitCode(), 0);
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

TEST_F(ProcessTest, UnreadableSettingsAreSaidOnStandardErrorAndOnceInTheDefaultLog)
{
    QDir(QString::fromStdString(home.path())).mkpath("TuqData");
    home.writeSettings("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\n"
                       "\"DebugFileName\"=\"C:\\TuqData\\log.txt\"\n");
    QProcess corvane;
    corvane.setReadChannel(QProcess::StandardError);
    corvane.start(CorvaneBinary(), {"-headless"});
    ASSERT_TRUE(corvane.waitForStarted(30000));
    std::string errors;
    auto said = [&](int times) {
        return WaitFor([&] {
            corvane.waitForReadyRead(100);
            errors += corvane.readAllStandardError().toStdString();
            return Count(errors, "corvane: error: The general log is off: ") >= times;
        });
    };
    ASSERT_TRUE(said(1)) << errors;
    EXPECT_NE(errors.find(home.settingsFile() + " line 3 cannot be read"), std::string::npos) << errors;

    ::kill(static_cast<pid_t>(corvane.processId()), SIGHUP);
    ASSERT_TRUE(said(2)) << "a reload says it again: " << errors;
    ::kill(static_cast<pid_t>(corvane.processId()), SIGTERM);
    ASSERT_TRUE(corvane.waitForFinished(30000));
    EXPECT_EQ(corvane.exitCode(), 0);
    EXPECT_EQ(Count(ReadWholeFile(home.path() + "/TuqData/TuqLog.txt"), "Settings cannot be read: "), 1);
}
