#include "base/claim_error.h"
#include "base/controller_state.h"
#include "claim_files.h"
#include "config/settings.h"
#include "sources/response_file.h"
#include "test_env.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <regex>
#include <sys/stat.h>

namespace {

class ResponseFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        claims = home.path() + "/claims/";
        archive = home.path() + "/archive/";
        QDir().mkpath(QString::fromStdString(claims));
        QDir().mkpath(QString::fromStdString(archive));
    }

    // Writes the claim file and answers it with reply.
    void Answer(const std::string& name, const std::string& reply = "REPLY")
    {
        WriteBytes(claims + name, "CLAIM " + name);
        WriteResponseFile(state, claims + name, reply, false, false, 0);
    }

    std::string ErrorOf(const std::string& name)
    {
        try {
            Answer(name);
        } catch (const ClaimError& error) {
            return error.what();
        }
        return "no error";
    }

    TestHome home;
    ControllerState state;
    std::string claims;
    std::string archive;
};

struct NamingCase {
    std::string claimName;
    std::string responseFolder;  // below home; empty: beside the claim
    std::optional<std::string> extension;
    std::string responsePath;    // below home
};

void PrintTo(const NamingCase& c, std::ostream* out)
{
    *out << c.claimName << " -> " << c.responsePath;
}

class ResponseNamingTest : public ResponseFileTest,
                           public ::testing::WithParamInterface<NamingCase> {};

TEST_P(ResponseNamingTest, WritesResponseAndDeletesClaim)
{
    const NamingCase& c = GetParam();
    if (!c.responseFolder.empty()) {
        QDir().mkpath(QString::fromStdString(home.path() + "/responses"));
        SetResponseFileFolder(home.path() + c.responseFolder);
    }
    if (c.extension)
        SetResponseFileExtension(*c.extension);
    state.failureCount = 2;

    Answer(c.claimName);

    EXPECT_EQ(ReadWholeFile(home.path() + c.responsePath), "REPLY");
    EXPECT_FALSE(Exists(claims + c.claimName));
    EXPECT_EQ(state.failureCount, 0);
    EXPECT_TRUE(TemporaryFilesIn(claims).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Names, ResponseNamingTest,
    ::testing::Values(NamingCase{"A.clm", "", std::nullopt, "/claims/A.rsp"},
                      NamingCase{"A.clm", "", "rsp", "/claims/Arsp"},
                      NamingCase{"ORDER1", "", std::nullopt, "/claims/ORDER1.rsp"},
                      NamingCase{"RX.0001.clm", "", ".out", "/claims/RX.0001.out"},
                      NamingCase{"A.clm", "/responses", std::nullopt, "/responses/A.rsp"},
                      NamingCase{"A.clm", "\\responses\\", std::nullopt, "/responses/A.rsp"}));

struct FramingCase {
    bool hadStx;
    bool hadEtx;
    unsigned char lrcByte;
    std::string content;
};

void PrintTo(const FramingCase& c, std::ostream* out)
{
    *out << "stx " << c.hadStx << " etx " << c.hadEtx << " lrc " << int(c.lrcByte);
}

class ResponseFramingTest : public ResponseFileTest,
                            public ::testing::WithParamInterface<FramingCase> {};

// R^E^P^L^Y^ETX = 0x51 'Q'; the claim's own check byte is never copied.
TEST_P(ResponseFramingTest, ReappliesTheClaimsFraming)
{
    const FramingCase& c = GetParam();
    WriteBytes(claims + "A.clm", "\x02" "CLAIM\x03x");
    WriteResponseFile(state, claims + "A.clm", "REPLY", c.hadStx, c.hadEtx, c.lrcByte);
    EXPECT_EQ(ReadWholeFile(claims + "A.rsp"), c.content);
}

INSTANTIATE_TEST_SUITE_P(Framing, ResponseFramingTest,
                         ::testing::Values(FramingCase{true, true, 'x', "\x02REPLY\x03Q"},
                                           FramingCase{true, true, 0, "\x02REPLY\x03"},
                                           FramingCase{false, true, 'z', "REPLY\x03Q"},
                                           FramingCase{true, false, 0, "\x02REPLY"},
                                           FramingCase{false, false, 0, "REPLY"}));

TEST_F(ResponseFileTest, ReplacesAResponseLeftFromAnEarlierAttempt)
{
    WriteBytes(claims + "A.rsp", "OLD RESPONSE");
    Answer("A.clm", "NEW");
    EXPECT_EQ(ReadWholeFile(claims + "A.rsp"), "NEW");
}

TEST_F(ResponseFileTest, ClaimDeletedMeanwhileWritesNothingAndResetsFailures)
{
    state.failureCount = 2;
    WriteResponseFile(state, claims + "GONE.clm", "REPLY", false, false, 0);
    EXPECT_TRUE(NamesIn(claims).empty());
    EXPECT_EQ(state.failureCount, 0);
}

TEST_F(ResponseFileTest, ArchiveReplacesAnEarlierCopyWithoutTimestamps)
{
    SetClaimFileArchiveFolder(home.path() + "/archive");
    WriteBytes(archive + "A.clm", "EARLIER");
    Answer("A.clm");
    EXPECT_EQ(NamesIn(archive), std::vector<std::string>{"A.clm"});
    EXPECT_EQ(ReadWholeFile(archive + "A.clm"), "CLAIM A.clm");
    EXPECT_FALSE(Exists(claims + "A.clm"));
    EXPECT_EQ(ReadWholeFile(claims + "A.rsp"), "REPLY");
}

TEST_F(ResponseFileTest, ArchiveKeepsTheEarlierCopyWithTimestamps)
{
    SetClaimFileArchiveFolder(home.path() + "\\archive");
    SetClaimFileArchiveTimestamp(true);
    WriteBytes(archive + "A.clm", "EARLIER");
    Answer("A.clm");

    std::vector<std::string> names = NamesIn(archive);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "A.clm");
    EXPECT_EQ(ReadWholeFile(archive + "A.clm"), "EARLIER");
    EXPECT_TRUE(std::regex_match(names[1], std::regex("A_[0-9]{17}\\.clm"))) << names[1];
    EXPECT_EQ(ReadWholeFile(archive + names[1]), "CLAIM A.clm");
    EXPECT_FALSE(Exists(claims + "A.clm"));
}

TEST_F(ResponseFileTest, ArchiveWithoutCollisionKeepsTheName)
{
    SetClaimFileArchiveFolder(home.path() + "/archive/");
    SetClaimFileArchiveTimestamp(true);
    Answer("A.clm");
    EXPECT_EQ(NamesIn(archive), std::vector<std::string>{"A.clm"});
}

TEST_F(ResponseFileTest, ArchiveOnAnotherDeviceIsCopiedThenDeleted)
{
    struct stat shm {}, local {};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(claims.c_str(), &local) != 0 ||
        shm.st_dev == local.st_dev)
        GTEST_SKIP() << "needs /dev/shm on a device of its own";
    QTemporaryDir otherDevice("/dev/shm/corvane-archive-XXXXXX");
    ASSERT_TRUE(otherDevice.isValid());
    std::string folder = otherDevice.path().toStdString() + "/";
    SetClaimFileArchiveFolder(folder);

    Answer("A.clm");

    EXPECT_EQ(NamesIn(folder), std::vector<std::string>{"A.clm"});
    EXPECT_EQ(ReadWholeFile(folder + "A.clm"), "CLAIM A.clm");
    EXPECT_FALSE(Exists(claims + "A.clm"));
}

TEST_F(ResponseFileTest, MissingResponseFolderKeepsTheClaim)
{
    SetResponseFileFolder(home.path() + "/vanished");
    state.failureCount = 1;
    std::string folder = home.path() + "/vanished/";
    EXPECT_EQ(ErrorOf("A.clm"), "Could not write response file '" + folder +
                                    "A.rsp'\n\nClaimError Error:\n  Error(2) opening temporary "
                                    "response file '" + folder + "TuqNXXXXXX'");
    EXPECT_EQ(ReadWholeFile(claims + "A.clm"), "CLAIM A.clm");
    EXPECT_EQ(state.failureCount, 2);
    EXPECT_TRUE(state.failureCounted);
}

TEST_F(ResponseFileTest, ResponseThatCannotTakeItsPlaceLeavesNoTemporaryFile)
{
    QDir().mkpath(QString::fromStdString(claims + "A.rsp"));  // a folder in the way
    std::string error = ErrorOf("A.clm");
    std::regex expected("Could not write response file '" + claims +
                        "A\\.rsp'\n\nClaimError Error:\n  Error renaming temporary response file '" +
                        claims + "TuqN[A-Za-z0-9]{6}' to '" + claims +
                        "A\\.rsp'; Response 'file already exists'");
    EXPECT_TRUE(std::regex_match(error, expected)) << error;
    EXPECT_EQ(NamesIn(claims), (std::vector<std::string>{"A.clm", "A.rsp"}));
    EXPECT_EQ(state.failureCount, 1);
}

TEST_F(ResponseFileTest, ArchiveFailureKeepsTheClaimAfterTheResponse)
{
    SetClaimFileArchiveFolder(home.path() + "/archive");
    QDir().mkpath(QString::fromStdString(archive + "A.clm"));  // a folder in the way
    EXPECT_EQ(ErrorOf("A.clm"), "Error archiving claim file '" + claims + "A.clm' to '" + archive +
                                    "A.clm'; 'File already exists'");
    EXPECT_EQ(ReadWholeFile(claims + "A.clm"), "CLAIM A.clm");
    EXPECT_EQ(ReadWholeFile(claims + "A.rsp"), "REPLY");
}

TEST_F(ResponseFileTest, ResponseNeverReplacesItsOwnClaim)
{
    SetResponseFileExtension(".clm");
    EXPECT_NE(ErrorOf("A.clm"), "no error");
    EXPECT_EQ(NamesIn(claims), std::vector<std::string>{"A.clm"});
    EXPECT_EQ(ReadWholeFile(claims + "A.clm"), "CLAIM A.clm");
}

}  // namespace
