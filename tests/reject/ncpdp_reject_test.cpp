#include "reject/ncpdp_reject.h"

#include "base/general_log.h"
#include "ncpdp_fixtures.h"

#include <gtest/gtest.h>

using namespace ncpdp;

namespace {

const std::string Message = "TUQ07 PROCESSOR UNAVAILABLE (ABCDEFGH)";

std::string Build(const std::string& claim, const std::string& codes, const std::string& message = Message)
{
    std::string out;
    int result = createNcpdpRejectResponse(claim.data(), static_cast<int>(claim.size()), codes.c_str(),
                                           message.c_str(), out);
    EXPECT_EQ(result, RejectResponseBuilt);
    return out;
}

std::string DefectLine(const std::string& what, const std::string& claim)
{
    return "createNcpdpRejectResponse() Error: M/I " + what + ". ClaimData(" + PrintableText(claim) + ")";
}

std::string ManyCodes(int count)
{
    std::string codes;
    for (int i = 0; i < count; ++i)
        codes += std::string(1, static_cast<char>('A' + i / 10)) + std::string(1, static_cast<char>('0' + i % 10));
    return codes;
}

std::vector<std::string> Pairs(const std::string& codes)
{
    std::vector<std::string> pairs;
    for (size_t i = 0; i < codes.size(); i += 2)
        pairs.push_back(codes.substr(i, 2));
    return pairs;
}

// Fixed-position responses of claims that are not version 5.
std::string OlderBlock(const std::string& countAndCodes, const std::string& message)
{
    std::string block = GS + "R" + countAndCodes;
    block.resize(44, ' ');
    block += message;
    block.resize(86, ' ');
    block += FS + "FP";
    block.resize(249, ' ');
    block += FS + "FQ";
    block.resize(424, ' ');
    return block;
}

std::string OlderClaimResponse(const std::string& head, char status, int blocks, const std::string& countAndCodes,
                               const std::string& message)
{
    std::string out = head + std::string(1, status) + FS + "FO" + std::string(8, ' ');
    for (int i = 0; i < blocks; ++i)
        out += OlderBlock(countAndCodes, message);
    return out;
}

std::string OlderReversalResponse(const std::string& head, const std::string& countAndCodes, const std::string& message)
{
    std::string out = head + "R" + countAndCodes;
    out.resize(27, ' ');
    out += message;
    out.resize(100, ' ');
    return out;
}

// "61006632" + transaction code + the rest of an older claim.
std::string OlderClaim(const std::string& transactionCode)
{
    return "61006632" + transactionCode + "PCN1234567" "1" "01" "1234567890     " "20261209";
}

} // namespace

class NcpdpReject : public NetLogTest {};

TEST_F(NcpdpReject, WellFormedClaimRejectsItsTransactionAndEchoesItsReference)
{
    std::string expected = ResponseHeader() + MessageSegment(Message) + StatusSegment({"92"})
                           + ClaimSegment("EM1", "D20004711");
    EXPECT_EQ(Build(Claim51(), "92"), expected);
    EXPECT_TRUE(logLines().empty());
}

struct CutCase {
    size_t length;
    const char* code;
    const char* what;
    std::string header;
};

class NcpdpRejectCut : public NetLogTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(NcpdpRejectCut, FirstMissingHeaderFieldIsCodedInFront)
{
    const CutCase& c = GetParam();
    std::string claim = Claim51().substr(0, c.length);
    ASSERT_EQ(c.header.size(), 31u);
    std::string expected = c.header + MessageSegment(Message) + StatusSegment({c.code, "92"});
    EXPECT_EQ(Build(claim, "92"), expected);
    EXPECT_EQ(logLines(), std::vector<std::string>{DefectLine(c.what, claim)});
}

INSTANTIATE_TEST_SUITE_P(Version5, NcpdpRejectCut, ::testing::Values(
    CutCase{7, "02", "version/release number", "5    R" + std::string(25, ' ')},
    CutCase{9, "03", "transaction code", "51B  R" + std::string(25, ' ')},
    CutCase{15, "04", "processor control number", "51B1 R" + std::string(25, ' ')},
    CutCase{20, "A9", "(Missing) transaction count", "51B1 R" + std::string(25, ' ')},
    CutCase{22, "B2", "service provider id qualifier", "51B11R0" + std::string(24, ' ')},
    CutCase{30, "05", "service provider id", "51B11R011234567" + std::string(16, ' ')},
    CutCase{40, "15", "date of service", "51B11R011234567890     20" + std::string(6, ' ')},
    CutCase{50, "AK", "software vendor/certification id", "51B11R011234567890     20261209"}),
    [](const auto& info) { return std::string(info.param.code); });

TEST_F(NcpdpReject, RoutingPrefixIsSkippedButLogged)
{
    for (const std::string prefix : {"HN.", "hn.", "HS.", "hS.", "P."}) {
        EXPECT_EQ(Build(prefix + Claim51(), "92"), Build(Claim51(), "92")) << prefix;
        EXPECT_EQ(Build(prefix + Claim51().substr(0, 40), "92"), Build(Claim51().substr(0, 40), "92")) << prefix;
    }
    std::string prefixed = "HN." + Claim51().substr(0, 40);
    Build(prefixed, "92");
    EXPECT_EQ(logLines().back(), DefectLine("date of service", prefixed));
}

struct TransactionsCase {
    const char* name;
    std::string claim;
    std::string expected;
};

class NcpdpRejectTransactions : public NetLogTest, public ::testing::WithParamInterface<TransactionsCase> {};

TEST_P(NcpdpRejectTransactions, OneStatusSegmentPerTransaction)
{
    EXPECT_EQ(Build(GetParam().claim, "92"), GetParam().expected);
    EXPECT_TRUE(logLines().empty());
}

INSTANTIATE_TEST_SUITE_P(Version5, NcpdpRejectTransactions, ::testing::Values(
    TransactionsCase{"ThreeTransactions",
        RequestHeader('3') + PatientSegment() + Transaction("1", "0000001") + Transaction("2", "0000002")
            + Transaction("3", "0000003"),
        ResponseHeader('3') + MessageSegment(Message)
            + StatusSegment({"92"}) + ClaimSegment("EM1", "D20000001")
            + StatusSegment({"92"}) + ClaimSegment("EM2", "D20000002")
            + StatusSegment({"92"}) + ClaimSegment("EM3", "D20000003")},
    TransactionsCase{"MiddleTransactionWithoutReference",
        RequestHeader('3') + PatientSegment() + Transaction("1", "0000001")
            + GS + RS + FS + "AM07" + FS + "EM1" + FS + "E103" + Transaction("3", "0000003"),
        ResponseHeader('3') + MessageSegment(Message)
            + StatusSegment({"92"}) + ClaimSegment("EM1", "D20000001")
            + StatusSegment({"92"})
            + StatusSegment({"92"}) + ClaimSegment("EM3", "D20000003")},
    TransactionsCase{"FewerTransactionsThanCounted",
        RequestHeader('3') + PatientSegment() + Transaction("1", "0000001") + Transaction("2", "0000002"),
        ResponseHeader('3') + MessageSegment(Message)
            + StatusSegment({"92"}) + ClaimSegment("EM1", "D20000001")
            + StatusSegment({"92"}) + StatusSegment({"92"})},
    TransactionsCase{"MoreTransactionsThanAllowed",
        RequestHeader('4') + PatientSegment() + Transaction("1", "0000001") + Transaction("2", "0000002")
            + Transaction("3", "0000003") + Transaction("4", "0000004") + Transaction("5", "0000005")
            + std::string(9000, 'x'),
        ResponseHeader('4') + MessageSegment(Message)
            + StatusSegment({"92"}) + ClaimSegment("EM1", "D20000001")
            + StatusSegment({"92"}) + ClaimSegment("EM2", "D20000002")
            + StatusSegment({"92"}) + ClaimSegment("EM3", "D20000003")
            + StatusSegment({"92"}) + ClaimSegment("EM4", "D20000004")},
    TransactionsCase{"LongFieldsAreCut",
        RequestHeader() + PatientSegment() + Transaction("12", "123456789"),
        ResponseHeader() + MessageSegment(Message) + StatusSegment({"92"}) + ClaimSegment("EM1", "D21234567")},
    TransactionsCase{"EligibilityHasNoClaimSegment",
        RequestHeader('1', "E1") + PatientSegment() + Transaction("1", "0000001"),
        ResponseHeader('1', 'A', "E1") + MessageSegment(Message) + StatusSegment({"92"})},
    TransactionsCase{"HeaderOnly",
        RequestHeader() + "TRAILING",
        ResponseHeader() + MessageSegment(Message) + StatusSegment({"92"})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NcpdpReject, InvalidTransactionCountIsAlwaysLogged)
{
    std::string claim = RequestHeader('X') + PatientSegment() + Transaction("1", "0000001");
    EXPECT_EQ(Build(claim, "92"), ResponseHeader('X', 'R') + MessageSegment(Message) + StatusSegment({"A9", "92"})
                                      + ClaimSegment("EM1", "D20000001"));

    // The count is the first defect; the missing date of service is not coded.
    std::string cut = claim.substr(0, 40);
    EXPECT_EQ(Build(cut, "92"), "51B1XR011234567890     20" + std::string(6, ' ') + MessageSegment(Message)
                                    + StatusSegment({"A9", "92"}));
    EXPECT_EQ(logLines(), (std::vector<std::string>{DefectLine("(Invalid) transaction count(X)", claim),
                                                    DefectLine("(Invalid) transaction count(X)", cut)}));
}

TEST_F(NcpdpReject, TooManyCodesAreLimitedAndHeaderCodeTakesTheLastPlace)
{
    std::string codes = ManyCodes(120);
    std::vector<std::string> first99 = Pairs(codes.substr(0, 198));
    EXPECT_EQ(Build(Claim51(), codes),
              ResponseHeader() + MessageSegment(Message) + StatusSegment(first99) + ClaimSegment("EM1", "D20004711"));

    std::vector<std::string> withHeaderCode = Pairs("15" + codes.substr(0, 196));
    EXPECT_EQ(Build(Claim51().substr(0, 40), codes),
              "51B11R011234567890     20" + std::string(6, ' ') + MessageSegment(Message) + StatusSegment(withHeaderCode));

    std::string alert = "createNcpdpRejectResponse() Alert: Too many (120) error codes specified.  (Max allows is 99.)";
    EXPECT_EQ(logLines(), (std::vector<std::string>{alert, alert, DefectLine("date of service", Claim51().substr(0, 40))}));
}

TEST_F(NcpdpReject, HeaderCodeAlreadyRequestedIsNotRepeated)
{
    EXPECT_EQ(Build(Claim51().substr(0, 40), "9215"),
              "51B11R011234567890     20" + std::string(6, ' ') + MessageSegment(Message) + StatusSegment({"92", "15"}));
}

TEST_F(NcpdpReject, MessageIsCutToTheLayout)
{
    std::string longMessage(250, 'M');
    EXPECT_EQ(Build(Claim51(), "92", longMessage),
              ResponseHeader() + MessageSegment(std::string(200, 'M')) + StatusSegment({"92"})
                  + ClaimSegment("EM1", "D20004711"));
    EXPECT_EQ(Build(OlderClaim("01"), "92", longMessage),
              OlderClaimResponse("3201", 'A', 1, "0192", std::string(42, 'M')));
    EXPECT_EQ(Build(OlderClaim("11"), "92", longMessage),
              OlderReversalResponse("3211", "0192", std::string(73, 'M')));
}

struct BadArgumentsCase {
    const char* codes;
    const char* message;
    const char* log;
};

class NcpdpRejectArguments : public NetLogTest, public ::testing::WithParamInterface<BadArgumentsCase> {};

TEST_P(NcpdpRejectArguments, AreRefusedWithTheirLogLine)
{
    std::string claim = Claim51();
    std::string out = "left over";
    EXPECT_EQ(createNcpdpRejectResponse(claim.data(), static_cast<int>(claim.size()), GetParam().codes,
                                        GetParam().message, out),
              RejectBadArguments);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(logLines(), std::vector<std::string>{std::string("createNcpdpRejectResponse() Error: ") + GetParam().log});
}

INSTANTIATE_TEST_SUITE_P(Arguments, NcpdpRejectArguments, ::testing::Values(
    BadArgumentsCase{"92", nullptr, "message is NULL"},
    BadArgumentsCase{"92", "", "message is NULL"},
    BadArgumentsCase{nullptr, "M", "codes is NULL or empty string"},
    BadArgumentsCase{"", "M", "codes is NULL or empty string"},
    BadArgumentsCase{"9", "M", "Specify codes in pairs of 2 characters"},
    BadArgumentsCase{"929", "M", "Specify codes in pairs of 2 characters"}));

struct OlderCase {
    const char* name;
    std::string claim;
    std::string expected;
    std::vector<std::string> log;
};

class NcpdpRejectOlder : public NetLogTest, public ::testing::WithParamInterface<OlderCase> {};

TEST_P(NcpdpRejectOlder, FixedPositionLayout)
{
    EXPECT_EQ(Build(GetParam().claim, "92"), GetParam().expected);
    EXPECT_EQ(logLines(), GetParam().log);
}

const std::string Recap = "3280TADVPCS RECAP AVAILABILITY TEST SUCCESSFUL";
const std::string RecapLower = "3280tadvpcs recap availability test successful";

INSTANTIATE_TEST_SUITE_P(Older, NcpdpRejectOlder, ::testing::Values(
    OlderCase{"TwoTransactions", OlderClaim("02"), OlderClaimResponse("3202", 'A', 2, "0192", Message), {}},
    OlderCase{"Reversal", OlderClaim("11"), OlderReversalResponse("3211", "0192", Message), {}},
    OlderCase{"BadReversalCode", OlderClaim("12"), OlderClaimResponse("3212", 'R', 2, "020392", Message),
              {DefectLine("(reversal) transaction code", OlderClaim("12"))}},
    OlderCase{"CountOutOfRange", OlderClaim("B5"), OlderClaimResponse("32B5", 'R', 1, "020392", Message),
              {"createNcpdpRejectResponse() Error: M/I transaction code(B5).ClaimData(" + OlderClaim("B5")
               + "), Using Claims=1."}},
    OlderCase{"CutInTransactionCode", OlderClaim("01").substr(0, 9), OlderClaimResponse("320 ", 'R', 1, "020392", Message),
              {DefectLine("transaction code", OlderClaim("01").substr(0, 9))}},
    OlderCase{"CutInBinNumber", "610", OlderClaimResponse("    ", 'R', 1, "020192", Message),
              {DefectLine("bin number", "610")}},
    OlderCase{"RecapText", Recap, OlderClaimResponse("    ", 'R', 1, "020192", Message),
              {DefectLine("bin number", Recap)}},
    OlderCase{"RecapTextAnyCase", RecapLower, OlderClaimResponse("    ", 'R', 1, "020192", Message),
              {DefectLine("bin number", RecapLower)}},
    OlderCase{"ResponseHandedBack", "12345" + FS + "RESPONSE", OlderClaimResponse("    ", 'R', 1, "020192", Message),
              {DefectLine("bin number", "12345" + FS + "RESPONSE")}},
    OlderCase{"OlderResponseHandedBack", "3211A", OlderClaimResponse("    ", 'R', 1, "020192", Message),
              {DefectLine("bin number", "3211A")}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NcpdpReject, Version5ResponseHandedBackKeepsTheSegmentLayout)
{
    std::string response = ResponseHeader() + MessageSegment("APPROVED");
    EXPECT_EQ(Build(response, "92"),
              "     R" + std::string(25, ' ') + MessageSegment(Message) + StatusSegment({"01", "92"}));
    EXPECT_EQ(logLines(), std::vector<std::string>{DefectLine("bin number", response)});
}

TEST_F(NcpdpReject, AbsentClaimStillGetsAResponse)
{
    std::string out;
    EXPECT_EQ(createNcpdpRejectResponse(nullptr, 0, "92", Message.c_str(), out), RejectResponseBuilt);
    EXPECT_EQ(out, OlderClaimResponse("    ", 'R', 1, "020192", Message));
    EXPECT_EQ(logLines(), std::vector<std::string>{"createNcpdpRejectResponse() Error: claimData is NULL"});
}

TEST_F(NcpdpReject, OlderLayoutLimitsCodesToTwenty)
{
    std::string codes = ManyCodes(25);
    EXPECT_EQ(Build(OlderClaim("01"), codes), OlderClaimResponse("3201", 'A', 1, "20" + codes.substr(0, 40), Message));
    EXPECT_EQ(logLines(), std::vector<std::string>{
        "createNcpdpRejectResponse() Alert: Too many (25) error codes specified.  (Max allows is 20.)"});
}

TEST_F(NcpdpReject, ReversalSendsOnlyTheCodesThatFitBeforeTheMessage)
{
    std::string codes = ManyCodes(15);
    EXPECT_EQ(Build(OlderClaim("11"), codes, "SHORT"),
              OlderReversalResponse("3211", "10" + codes.substr(0, 20), "SHORT"));
}
