#include "base/general_log.h"
#include "config/log_settings.h"
#include "claim_files.h"
#include "config/settings.h"
#include "recording_host.h"
#include "sources/claim_file_source.h"
#include "test_env.h"
#include "test_logs.h"
#include "wait_for.h"

#include "sources/claim_file_reader.h"

#include <QDir>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

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
        LogInto(home.path() + "/TuqLog.txt");
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
    EXPECT_TRUE(WaitFor([&] { return host.SawStatus("No claim files to send."); }, 10));
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

int CountOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

struct SetAsideCase {
    std::string label;
    // Puts a file that is no claim at path; home is the test's private folder.
    std::function<void(const std::string& path, const std::string& home)> make;
    std::string reason;
    bool needsNonRoot = false;
};

void PrintTo(const SetAsideCase& c, std::ostream* out)
{
    *out << c.label;
}

class SetAsideTest : public ClaimFileSourceTest, public ::testing::WithParamInterface<SetAsideCase> {};

// The bad file is logged once, left in place and never sent; the good file
// after it goes in the same pass; polling goes on every second.
TEST_P(SetAsideTest, BadFileIsSetAsideAndTheOthersGoOn)
{
    const SetAsideCase& c = GetParam();
    if (c.needsNonRoot && ::geteuid() == 0)
        GTEST_SKIP() << "permissions do not hold for root";
    c.make(claims + "A.clm", home.path());
    WriteBytes(claims + "B.clm", "CLAIM B");

    source.FileDataSourceTimerTimer();
    source.FileDataSourceTimerTimer();

    EXPECT_EQ(host.sentClaims, std::vector<std::string>{"CLAIM B"});
    EXPECT_TRUE(Exists(claims + "A.clm"));
    EXPECT_FALSE(Exists(claims + "A.rsp"));
    EXPECT_EQ(host.state.failureCount, 0);
    EXPECT_TRUE(source.IsTimerEnabled());
    EXPECT_EQ(source.TimerInterval(), 1000);
    EXPECT_TRUE(host.errors.empty());
    std::string log = ReadWholeFile(home.path() + "/TuqLog.txt");
    EXPECT_EQ(CountOf(log, ">Claim file '" + claims + "A.clm' set aside:  " + c.reason + "\n"), 1)
        << log;
    EXPECT_EQ(log.find("SECRET"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SetAsideTest,
    ::testing::Values(
        SetAsideCase{"LinkToFileOutside",
                     [](const std::string& path, const std::string& home) {
                         WriteBytes(home + "/key.pem", "SECRET");
                         ASSERT_EQ(::symlink((home + "/key.pem").c_str(), path.c_str()), 0);
                     },
                     "it is a symbolic link, not a claim file"},
        SetAsideCase{"LinkToFifo",
                     [](const std::string& path, const std::string& home) {
                         ASSERT_EQ(::mkfifo((home + "/fifo").c_str(), 0600), 0);
                         ASSERT_EQ(::symlink((home + "/fifo").c_str(), path.c_str()), 0);
                     },
                     "it is a symbolic link, not a claim file"},
        SetAsideCase{"LinkToEndlessDevice",
                     [](const std::string& path, const std::string&) {
                         ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0);
                     },
                     "it is a symbolic link, not a claim file"},
        SetAsideCase{"LongerThanAClaim",
                     [](const std::string& path, const std::string&) {
                         WriteBytes(path, std::string(kMaxClaimFileSize + 1, 'X'));
                     },
                     "it is longer than a claim can be (8197 bytes)"},
        SetAsideCase{"ClaimLongerThanTheRelayTakes",
                     [](const std::string& path, const std::string&) {
                         WriteBytes(path, std::string(8193, 'X'));
                     },
                     "its claim is longer than 8192 bytes"},
        SetAsideCase{"NoClaimData",
                     [](const std::string& path, const std::string&) {
                         WriteBytes(path, "\x02\x03\r\n");
                     },
                     "it holds no claim data"},
        SetAsideCase{"Unreadable",
                     [](const std::string& path, const std::string&) {
                         WriteBytes(path, "CLAIM A");
                         ::chmod(path.c_str(), 0);
                     },
                     "Error(13) opening it: Permission denied", true}),
    [](const ::testing::TestParamInfo<SetAsideCase>& info) { return info.param.label; });

TEST_F(ClaimFileSourceTest, LargestFramedClaimIsSent)
{
    std::string claim(8192, 'X');
    WriteBytes(claims + "A.clm", "\x02" + claim + "\x03" "L\r\n");
    source.FileDataSourceTimerTimer();
    EXPECT_EQ(host.sentClaims, std::vector<std::string>{claim});
}

// A claim still being written is empty at first; once complete it is sent.
TEST_F(ClaimFileSourceTest, SetAsideFileIsTriedAgainOnLaterPasses)
{
    WriteBytes(claims + "A.clm", "");
    source.FileDataSourceTimerTimer();
    EXPECT_TRUE(host.sentClaims.empty());

    WriteBytes(claims + "A.clm", "CLAIM A");
    source.FileDataSourceTimerTimer();
    EXPECT_EQ(host.sentClaims, std::vector<std::string>{"CLAIM A"});
    EXPECT_EQ(NamesIn(claims), std::vector<std::string>{"A.rsp"});
}

TEST_F(ClaimFileSourceTest, FinalStarDotStarMatchesEveryFile)
{
    SetClaimFileMask(claims + "*.*");
    WriteBytes(claims + "ORDER1", "CLAIM 1");
    WriteBytes(claims + "ORDER2.clm", "CLAIM 2");

    source.FileDataSourceTimerTimer();

    EXPECT_EQ(host.sentClaims, (std::vector<std::string>{"CLAIM 1", "CLAIM 2"}));
}

// The answer came back but its response file cannot be written: it is kept,
// and later passes retry only the writing, never the paid-for claim.
TEST_F(ClaimFileSourceTest, AnswerIsKeptWhenItsResponseCannotBeWritten)
{
    WriteBytes(claims + "A.clm", "CLAIM");
    QDir().mkpath(QString::fromStdString(claims + "A.rsp"));  // a folder in the way
    host.replies.assign(1, RecordingHost::Reply{0, "PAID"});

    for (int pass = 1; pass <= 3; ++pass)
        source.FileDataSourceTimerTimer();

    EXPECT_EQ(host.sentClaims.size(), 1u);
    EXPECT_EQ(source.KeptAnswerCount(), 1);
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_EQ(host.errors[0].rfind("Could not write response file '" + claims + "A.rsp'\n\n", 0), 0u)
        << host.errors[0];
    EXPECT_EQ(host.LastStatus(), "Awaiting user input to continue (file error).");
    EXPECT_EQ(host.waits.size(), 1u);
    EXPECT_FALSE(source.IsTimerEnabled());
    EXPECT_EQ(NamesIn(claims), (std::vector<std::string>{"A.clm", "A.rsp"}));
    EXPECT_FALSE(host.state.filePassBusy);

    QDir(QString::fromStdString(claims + "A.rsp")).removeRecursively();
    source.FileDataSourceTimerTimer();

    EXPECT_EQ(host.sentClaims.size(), 1u);
    EXPECT_EQ(source.KeptAnswerCount(), 0);
    EXPECT_EQ(NamesIn(claims), std::vector<std::string>{"A.rsp"});
    EXPECT_EQ(ReadWholeFile(claims + "A.rsp"), "PAID");
    EXPECT_TRUE(source.IsTimerEnabled());
}

// The response is in place but the claim cannot be archived: only the
// archiving is retried.
TEST_F(ClaimFileSourceTest, AnsweredClaimThatCannotBeArchivedIsNotSentAgain)
{
    std::string archive = home.path() + "/archive/";
    QDir().mkpath(QString::fromStdString(archive + "A.clm/inside"));  // cannot be replaced
    SetClaimFileArchiveFolder(archive);
    WriteBytes(claims + "A.clm", "CLAIM");

    source.FileDataSourceTimerTimer();
    source.FileDataSourceTimerTimer();

    EXPECT_EQ(host.sentClaims.size(), 1u);
    EXPECT_EQ(NamesIn(claims), (std::vector<std::string>{"A.clm", "A.rsp"}));

    QDir(QString::fromStdString(archive + "A.clm")).removeRecursively();
    source.FileDataSourceTimerTimer();

    EXPECT_EQ(host.sentClaims.size(), 1u);
    EXPECT_EQ(NamesIn(claims), std::vector<std::string>{"A.rsp"});
    EXPECT_EQ(ReadWholeFile(archive + "A.clm"), "CLAIM");
}

// A new claim under the same name is a new claim: the old answer is not its.
TEST_F(ClaimFileSourceTest, KeptAnswerIsDroppedWhenTheClaimFileChanges)
{
    WriteBytes(claims + "A.clm", "CLAIM 1");
    QDir().mkpath(QString::fromStdString(claims + "A.rsp"));
    source.FileDataSourceTimerTimer();
    ASSERT_EQ(source.KeptAnswerCount(), 1);

    QDir(QString::fromStdString(claims + "A.rsp")).removeRecursively();
    ::unlink((claims + "A.clm").c_str());
    WriteBytes(claims + "A.clm", "CLAIM 2, NEW");
    source.FileDataSourceTimerTimer();

    EXPECT_EQ(host.sentClaims, (std::vector<std::string>{"CLAIM 1", "CLAIM 2, NEW"}));
    EXPECT_EQ(source.KeptAnswerCount(), 0);
    EXPECT_TRUE(Logged("Kept answer dropped:  the claim file '" + claims +
                       "A.clm' changed since it was sent."));
}

struct SameFolderCase {
    std::string label;
    std::string responseFolder;  // relative to the test's home; "link" is made
};

void PrintTo(const SameFolderCase& c, std::ostream* out)
{
    *out << c.label;
}

class ResponseOverClaimTest : public ClaimFileSourceTest,
                              public ::testing::WithParamInterface<SameFolderCase> {};

// However the claim folder is spelt, a response that would replace its claim
// is refused before the switch is asked, and the claim stays.
TEST_P(ResponseOverClaimTest, IsRefusedBeforeSending)
{
    ASSERT_EQ(::symlink(claims.c_str(), (home.path() + "/link").c_str()), 0);
    SetResponseFileFolder(home.path() + "/" + GetParam().responseFolder);
    SetResponseFileExtension(".clm");
    SetClaimFileRetries(1);
    WriteBytes(claims + "A.clm", "CLAIM");

    source.FileDataSourceTimerTimer();

    EXPECT_TRUE(host.sentClaims.empty());
    EXPECT_EQ(host.connectAttempts, 0);
    EXPECT_EQ(NamesIn(claims), std::vector<std::string>{"A.clm"});
    EXPECT_EQ(ReadWholeFile(claims + "A.clm"), "CLAIM");
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_NE(host.errors[0].find("would replace its claim file"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Spellings, ResponseOverClaimTest,
                         ::testing::Values(SameFolderCase{"Plain", "claims/"},
                                           SameFolderCase{"DoubleSlash", "claims//"},
                                           SameFolderCase{"DotFolder", "claims/./"},
                                           SameFolderCase{"Link", "link"}),
                         [](const ::testing::TestParamInfo<SameFolderCase>& info) {
                             return info.param.label;
                         });

TEST_F(ClaimFileSourceTest, OpeningRemovesTemporaryFilesOfAnEarlierRun)
{
    std::string responses = home.path() + "/responses/";
    QDir().mkpath(QString::fromStdString(responses));
    SetResponseFileFolder(responses);
    WriteBytes(responses + "TuqNab12CD", "a complete response");
    WriteBytes(responses + "TuqNotes.txt", "not ours");
    WriteBytes(claims + "TuqNzz99yy", "in the claim folder: not a response folder");

    source.Activate();
    source.DisableTimer();

    EXPECT_EQ(NamesIn(responses), std::vector<std::string>{"TuqNotes.txt"});
    EXPECT_TRUE(Exists(claims + "TuqNzz99yy"));
    EXPECT_TRUE(Logged("Removed '" + responses + "TuqNab12CD', a temporary file left by an earlier run."));
}

// An editor rewriting the settings file makes it unreadable for a moment.
TEST_F(ClaimFileSourceTest, UnreadableSettingsAreRetriedLikeACommunicationFailure)
{
    WriteBytes(claims + "A.clm", "CLAIM");
    std::string settings = ReadWholeFile(home.settingsFile());
    WriteBytes(home.settingsFile(), settings + "\"Half\"=\"writ");

    source.FileDataSourceTimerTimer();

    EXPECT_TRUE(host.sentClaims.empty());
    EXPECT_TRUE(host.errors.empty());
    EXPECT_TRUE(host.waits.empty());
    EXPECT_TRUE(source.IsTimerEnabled());
    EXPECT_EQ(source.TimerInterval(), 5000);

    WriteBytes(home.settingsFile(), settings);
    source.FileDataSourceTimerTimer();
    EXPECT_EQ(host.sentClaims, std::vector<std::string>{"CLAIM"});
    EXPECT_EQ(source.TimerInterval(), 1000);
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
