#include "reject/error_catalogue.h"

#include "base/general_log.h"
#include "config/log_settings.h"
#include "config/settings.h"
#include "ncpdp_fixtures.h"

#include <gtest/gtest.h>

using namespace ncpdp;

struct CatalogueCase {
    ErrorReply reply;
    const char* code;
    const char* text;
    const char* rejectCode;
};

class ErrorCatalogue : public NetLogTest, public ::testing::WithParamInterface<CatalogueCase> {};

TEST_P(ErrorCatalogue, EntryNamesTheFailureAndTheInstallation)
{
    const ErrorReplyEntry& entry = ErrorReplyFor(GetParam().reply);
    EXPECT_STREQ(entry.code, GetParam().code);
    EXPECT_STREQ(entry.rejectCodes, GetParam().rejectCode);
    std::string text = ErrorReplyText(entry, "ABCDEFGH");
    EXPECT_EQ(text, GetParam().text);
    EXPECT_LE(text.size(), 79u);
}

TEST_P(ErrorCatalogue, ReplyRejectsTheClaimWithTheEntrysCode)
{
    std::string claim = Claim51();
    std::string out;
    ASSERT_EQ(BuildErrorReply(GetParam().reply, "ABCDEFGH", claim.data(), static_cast<int>(claim.size()), out), 0);
    EXPECT_EQ(out, ResponseHeader() + MessageSegment(GetParam().text) + StatusSegment({GetParam().rejectCode})
                       + ClaimSegment("EM1", "D20004711"));

    std::string cut = claim.substr(0, 40);
    ASSERT_EQ(BuildErrorReply(GetParam().reply, "ABCDEFGH", cut.data(), static_cast<int>(cut.size()), out), 0);
    EXPECT_EQ(out, "51B11R011234567890     20" + std::string(6, ' ') + MessageSegment(GetParam().text)
                       + StatusSegment({"15", GetParam().rejectCode}));
}

INSTANTIATE_TEST_SUITE_P(Entries, ErrorCatalogue, ::testing::Values(
    CatalogueCase{ErrorReply::HostDisconnected, "TUQ02", "TUQ02 HOST DISCONNECTED (ABCDEFGH)", "90"},
    CatalogueCase{ErrorReply::ProcessorTimedOut, "TUQ06", "TUQ06 PROCESSOR TIMED OUT (ABCDEFGH)", "95"},
    CatalogueCase{ErrorReply::ProcessorUnavailable, "TUQ07", "TUQ07 PROCESSOR UNAVAILABLE (ABCDEFGH)", "92"},
    CatalogueCase{ErrorReply::HostResponseError, "TUQ08", "TUQ08 HOST RESPONSE ERROR (ABCDEFGH)", "91"}),
    [](const auto& info) { return std::string(info.param.code); });

class HostUnavailable : public NetLogTest {
protected:
    void SetUp() override
    {
        NetLogTest::SetUp();
        SetSystemID("ABCDEFGH");
        SetEnableDebugMessages(true);
        SetDebugFileName(generalLogPath());
        LoadLogSettings();
    }
    void TearDown() override
    {
        SetEnableDebugMessages(false);
        LoadLogSettings();
        NetLogTest::TearDown();
    }
    std::string generalLogPath() const { return logPath() + ".general"; }
};

TEST_F(HostUnavailable, RepliesWithProcessorUnavailableForThisSystem)
{
    std::string response = "untouched";
    ASSERT_TRUE(hostUnavailableMsg(Claim51(), response));
    std::string expected = ResponseHeader() + MessageSegment("TUQ07 PROCESSOR UNAVAILABLE (ABCDEFGH)")
                           + StatusSegment({"92"}) + ClaimSegment("EM1", "D20004711");
    EXPECT_EQ(response, expected);

    std::string line = "HostUnavailable ERSP(" + std::to_string(expected.size()) + ")(" + PrintableText(expected) + ")\n";
    std::string log = ReadWholeFile(generalLogPath());
    ASSERT_GE(log.size(), line.size());
    EXPECT_EQ(log.substr(log.size() - line.size()), line);
}

TEST_F(HostUnavailable, ReadsTheSystemIdAtEachCall)
{
    std::string response;
    SetSystemID("XYZ");
    ASSERT_TRUE(hostUnavailableMsg("", response));
    EXPECT_NE(response.find("TUQ07 PROCESSOR UNAVAILABLE (XYZ)"), std::string::npos);
}
