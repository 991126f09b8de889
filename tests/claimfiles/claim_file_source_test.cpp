#include "base/general_log.h"
#include "config/log_settings.h"
#include "claim_files.h"
#include "config/settings.h"
#include "recording_host.h"
#include "sources/claim_file_source.h"
#include "test_env.h"

#include <QDir>
#include <QTest>
#include <gtest/gtest.h>
#include <ostream>

namespace {

const std::string kHostUnavailable = "TUQ07 PROCESSOR UNAVAILABLE (TESTSYS1)";

class ClaimFileSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        claims = home.path() + "/claims/";
        QDir().mkpath(QString::fromStdString(claims));
        SetClaimFileMask(claims + "*.clm");
        SetSystemID("TESTSYS1");
        SetEnableDebugMessages(true);
        SetDebugFileName(home.path() + "/TuqLog.txt");
        LoadLogSettings();
    }

    void TearDown() override { LoadLogSettings(); }

    bool Logged(const std::string& line) const
    {
        return ReadWholeFile(home.path() + "/TuqLog.txt").find(">" + line + "\n") != std::string::npos;
    }

    std::string PauseStatus(int failure, int retries) const
    {
        return "Pausing 5 seconds before sending again.  (Failure " + std::to_string(failure) +
               " of " + std::to_string(retries) + ")";
    }

    TestHome home;
    std::string claims;
    RecordingHost host;
    ClaimFileSource source{host};
};

TEST_F(ClaimFileSourceTest, EmptyFolderPollsAgainInOneSecond)
{
    source.FileDataSourceTimerTimer();
    EXPECT_EQ(host.LastStatus(), "No claim files to send.");
    EXPECT_TRUE(source.IsTimerEnabled());
    EXPECT_EQ(source.TimerInterval(), 1000);
    EXPECT_EQ(host.connectAttempts, 0);
    EXPECT_FALSE(host.state.filePassBusy);
}

TEST_F(ClaimFileSourceTest, ActivatedTimerRunsPasses)
{
    source.Activate();
    EXPECT_EQ(source.TimerInterval(), 1000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return host.SawStatus("No claim files to send."); }, 10000));
    source.DisableTimer();
    EXPECT_FALSE(source.IsTimerEnabled());
}

struct PreparationCase {
    std::string fileContent;
    bool trimAtNewline;
    std::string sentClaim;
    std::string responseFile;  // for the reply "OK"
};

void PrintTo(const PreparationCase& c, std::ostream* out)
{
    *out << c.fileContent.size() << " bytes, trim " << c.trimAtNewline;
}

class ClaimPreparationTest : public ClaimFileSourceTest,
                             public ::testing::WithParamInterface<PreparationCase> {};

// O^K^ETX = 0x07: the response gets a check byte of its own.
TEST_P(ClaimPreparationTest, SendsTheClaimWithoutLineEndsOrFraming)
{
    const PreparationCase& c = GetParam();
    SetClaimFileTrimAtNewline(c.trimAtNewline);
    WriteBytes(claims + "A.clm", c.fileContent);

    source.FileDataSourceTimerTimer();

    EXPECT_EQ(host.sentClaims, std::vector<std::string>{c.sentClaim});
    EXPECT_EQ(ReadWholeFile(claims + "A.rsp"), c.responseFile);
    EXPECT_EQ(NamesIn(claims), std::vector<std::string>{"A.rsp"});
    EXPECT_FALSE(host.portOpen);
    EXPECT_EQ(host.LastStatus(), "Claim send operation complete.");
    EXPECT_EQ(source.TimerInterval(), 1000);
    EXPECT_TRUE(source.IsTimerEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Files, ClaimPreparationTest,
    ::testing::Values(PreparationCase{"\x02" "CLAIM\x03x\r\n", false, "CLAIM", "\x02OK\x03\x07"},
                      PreparationCase{"\x02" "CLAIM\x03", false, "CLAIM", "\x02OK\x03"},
                      PreparationCase{"CLAIM\x03\r\n", false, "CLAIM", "OK\x03"},
                      PreparationCase{"CLAIM\n\r\n", false, "CLAIM", "OK"},
                      PreparationCase{"ABC\r\nDEF", true, "ABC", "OK"},
                      PreparationCase{"ABC\r\nDEF", false, "ABC\r\nDEF", "OK"},
                      PreparationCase{std::string("A\x1C\x1D\x1E\0B", 6), false,
                                      std::string("A\x1C\x1D\x1E\0B", 6), "OK"}));

TEST_F(ClaimFileSourceTest, SendsEveryMatchingFileInNameOrder)
{
    for (const char* name : {"C.clm", "A.clm", "B.clm"})
        WriteBytes(claims + name, std::string("CLAIM ") + name);
    WriteBytes(claims + "D.CLM", "other case");
    WriteBytes(claims + ".E.clm", "hidden");
    WriteBytes(claims + "F.txt", "other extension");
    QDir().mkpath(QString::fromStdString(claims + "G.clm"));

    source.FileDataSourceTimerTimer();

    EXPECT_EQ(host.sentClaims,
              (std::vector<std::string>{"CLAIM A.clm", "CLAIM B.clm", "CLAIM C.clm"}));
    EXPECT_EQ(NamesIn(claims), (std::vector<std::string>{".E.clm", "A.rsp", "B.rsp", "C.rsp",
                                                         "D.CLM", "F.txt", "G.clm"}));
    EXPECT_EQ(host.connectAttempts, 1);
    EXPECT_EQ(host.state.failureCount, 0);
}

enum class Failure { ConnectRaises, SendFails };

struct CeilingCase {
    int retries;
    Failure failure;
    int passes;
};

void PrintTo(const CeilingCase& c, std::ostream* out)
{
    *out << "retries " << c.retries << (c.failure == Failure::ConnectRaises ? " connect" : " send");
}

class FailureCeilingTest : public ClaimFileSourceTest,
                           public ::testing::WithParamInterface<CeilingCase> {};

// Each failed pass pauses; the pass that reaches the ceiling answers the claim
// with the host-unavailable reject, and polling goes on every second.
TEST_P(FailureCeilingTest, AnswersWithHostUnavailableAtTheCeiling)
{
    const CeilingCase& c = GetParam();
    SetClaimFileRetries(c.retries);
    WriteBytes(claims + "A.clm", "\x02" "CLAIM\x03");
    if (c.failure == Failure::ConnectRaises)
        host.connectError = "Could not connect";
    else
        host.replies.assign(c.passes, RecordingHost::Reply{-1, ""});

    for (int pass = 1; pass <= c.passes; ++pass) {
        source.FileDataSourceTimerTimer();
        SCOPED_TRACE("pass " + std::to_string(pass));
        EXPECT_TRUE(host.errors.empty());
        EXPECT_TRUE(source.IsTimerEnabled());
        EXPECT_FALSE(host.portOpen);
        if (pass != c.retries) {
            EXPECT_EQ(host.LastStatus(), PauseStatus(pass, c.retries));
            EXPECT_EQ(source.TimerInterval(), 5000);
            EXPECT_EQ(NamesIn(claims), std::vector<std::string>{"A.clm"});
        }
    }
    if (c.retries == 0)
        return;
    EXPECT_EQ(source.TimerInterval(), 1000);
    EXPECT_EQ(host.state.failureCount, 0);
    EXPECT_EQ(NamesIn(claims), std::vector<std::string>{"A.rsp"});
    std::string response = ReadWholeFile(claims + "A.rsp");
    EXPECT_NE(response.find(kHostUnavailable), std::string::npos) << response;
    EXPECT_EQ(response.front(), '\x02');
    EXPECT_EQ(response.back(), '\x03');
    EXPECT_TRUE(Logged("Maximum allowed failures (" + std::to_string(c.retries) +
                       ") have been reached."));
    EXPECT_TRUE(Logged(c.failure == Failure::ConnectRaises
                           ? "Claim send Exception 'Could not connect'"
                           : "Claim send Exception 'Unable to process claim'"));
}

INSTANTIATE_TEST_SUITE_P(Retries, FailureCeilingTest,
                         ::testing::Values(CeilingCase{3, Failure::ConnectRaises, 3},
                                           CeilingCase{3, Failure::SendFails, 3},
                                           CeilingCase{1, Failure::ConnectRaises, 1},
                                           CeilingCase{0, Failure::ConnectRaises, 5}));

TEST_F(ClaimFileSourceTest, LostConnectionStopsAtMaxTriesWithoutResponse)
{
    WriteBytes(claims + "A.clm", "CLAIM");
    host.replies.assign(3, RecordingHost::Reply{-1, "", true});

    source.FileDataSourceTimerTimer();
    EXPECT_EQ(host.LastStatus(), PauseStatus(1, 3));
    source.FileDataSourceTimerTimer();
    EXPECT_EQ(host.LastStatus(), PauseStatus(2, 3));
    source.FileDataSourceTimerTimer();

    EXPECT_EQ(host.LastStatus(), "Awaiting user input to continue (max tries exceeded).");
    EXPECT_FALSE(source.IsTimerEnabled());
    EXPECT_EQ(host.state.failureCount, 0);
    EXPECT_EQ(host.sentClaims.size(), 3u);
    EXPECT_EQ(NamesIn(claims), std::vector<std::string>{"A.clm"});
    EXPECT_TRUE(host.errors.empty());
}

TEST_F(ClaimFileSourceTest, FailureTriesOnlyTheFirstOfFiveFiles)
{
    for (const char* name : {"A.clm", "B.clm", "C.clm", "D.clm", "E.clm"})
        WriteBytes(claims + name, std::string("CLAIM ") + name);
    host.replies.assign(1, RecordingHost::Reply{-1, "", true});

    source.FileDataSourceTimerTimer();

    EXPECT_EQ(host.sentClaims, std::vector<std::string>{"CLAIM A.clm"});
    EXPECT_EQ(NamesIn(claims).size(), 5u);
    EXPECT_EQ(host.state.failureCount, 1);
}

TEST_F(ClaimFileSourceTest, CancelStopsPollingAndClearsFailures)
{
    WriteBytes(claims + "A.clm", "CLAIM");
    host.state.failureCount = 2;
    host.replies.assign(1, RecordingHost::Reply{-1, "", false, true});

    source.FileDataSourceTimerTimer();

    EXPECT_EQ(host.LastStatus(), "Awaiting user input to continue (Cancel clicked).");
    EXPECT_FALSE(source.IsTimerEnabled());
    EXPECT_EQ(host.state.failureCount, 0);
    EXPECT_EQ(NamesIn(claims), std::vector<std::string>{"A.clm"});
}

TEST_F(ClaimFileSourceTest, ClaimWithoutDataIsNeverSent)
{
    WriteBytes(claims + "A.clm", "\x02\x03\r\n");
    source.FileDataSourceTimerTimer();
    EXPECT_TRUE(host.sentClaims.empty());
    EXPECT_EQ(host.connectAttempts, 0);
    EXPECT_EQ(host.state.failureCount, 1);
    EXPECT_EQ(host.LastStatus(), PauseStatus(1, 3));
}

// At the ceiling a file error is shown to the user instead of a reject.
TEST_F(ClaimFileSourceTest, ClaimStaysWhenItsResponseCannotBeWritten)
{
    WriteBytes(claims + "A.clm", "CLAIM");
    QDir().mkpath(QString::fromStdString(claims + "A.rsp"));  // a folder in the way

    for (int pass = 1; pass <= 3; ++pass)
        source.FileDataSourceTimerTimer();

    EXPECT_EQ(host.sentClaims.size(), 3u);
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0].rfind("Could not write response file '" + claims + "A.rsp'\n\n", 0), 0u)
        << host.errors[0];
    EXPECT_EQ(host.LastStatus(), "Awaiting user input to continue (file error).");
    EXPECT_FALSE(source.IsTimerEnabled());
    EXPECT_EQ(NamesIn(claims), (std::vector<std::string>{"A.clm", "A.rsp"}));
    EXPECT_EQ(ReadWholeFile(claims + "A.clm"), "CLAIM");
    EXPECT_FALSE(host.state.filePassBusy);
}

struct ConfigurationCase {
    std::string setting;  // which value is wrong
    std::string status;
    std::string message;
    std::string logLine;  // empty: none
};

void PrintTo(const ConfigurationCase& c, std::ostream* out)
{
    *out << c.setting;
}

class ConfigurationTest : public ClaimFileSourceTest,
                          public ::testing::WithParamInterface<ConfigurationCase> {};

TEST_P(ConfigurationTest, RaisesAndStopsPolling)
{
    const ConfigurationCase& c = GetParam();
    std::string missing = home.path() + "/missing";
    if (c.setting == "mask empty")
        SetClaimFileMask("");
    else if (c.setting == "claim folder")
        SetClaimFileMask(missing + "/*.clm");
    else if (c.setting == "response folder")
        SetResponseFileFolder(missing);
    else
        SetClaimFileArchiveFolder(missing);
    WriteBytes(claims + "A.clm", "CLAIM");

    source.FileDataSourceTimerTimer();

    EXPECT_EQ(host.errors, std::vector<std::string>{c.message});
    EXPECT_EQ(host.LastStatus(), c.status);
    EXPECT_FALSE(source.IsTimerEnabled());
    EXPECT_EQ(host.state.failureCount, 1);
    EXPECT_FALSE(host.state.filePassBusy);
    EXPECT_TRUE(host.sentClaims.empty());
    if (!c.logLine.empty()) {
        std::string folder = c.setting == "claim folder" ? missing + "/" : missing;
        EXPECT_TRUE(Logged(c.logLine + folder + "'"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ConfigurationTest,
    ::testing::Values(
        ConfigurationCase{"mask empty", "Awaiting user input to continue (file error).",
                          "Specify a Claim File Mask prior to sending data (Click Options button)", ""},
        ConfigurationCase{"claim folder", "Awaiting user input to continue (file error).",
                          "Specify a valid Claim File Mask / Folder prior to sending data (Click "
                          "Options button)",
                          "SendClaimFiles:  Claim Data Folder does not exist:  '"},
        ConfigurationCase{"response folder",
                          "Awaiting user input to continue (response folder error).",
                          "Specify a valid Response File Folder prior to sending data (Click "
                          "Options button)",
                          "SendClaimFiles:  Response File Folder does not exist:  '"},
        ConfigurationCase{"archive folder",
                          "Awaiting user input to continue (claim archive folder error).",
                          "Specify a valid Claim File Archive Folder prior to sending data (Click "
                          "Options button)",
                          "SendClaimFiles:  Claim File Archive Folder does not exist:  '"}));

}  // namespace
