#include "relay/frames.h"

#include <gtest/gtest.h>

TEST(Frames, BigEndianLengthRoundTripsAndIsNetworkOrder)
{
    char field[4];
    WriteBigEndian32(field, 0x01020304u);
    EXPECT_EQ(std::string(field, 4), std::string("\x01\x02\x03\x04", 4));
    EXPECT_EQ(ReadBigEndian32(field), 0x01020304u);

    uint32_t value = 0x11223344u;
    SwapLength32(value);
    SwapLength32(value);
    EXPECT_EQ(value, 0x11223344u);
}

TEST(Frames, ClaimHeaderLayout)
{
    EXPECT_EQ(BuildClaimHeader(1, 0), "0100000540" "00000001" "000000");
    EXPECT_EQ(BuildClaimHeader(99999999, 8192), "0100000540" "99999999" "008192");

    ClaimHeaderFields fields = ParseClaimHeader("0100000540" "00001234" "000311");
    EXPECT_EQ(fields.version, "01");
    EXPECT_EQ(fields.prefix, "0100000540");
    EXPECT_EQ(fields.sequence, "00001234");
    EXPECT_EQ(fields.bodyLength, 311);
}

TEST(Frames, DecimalFieldReadsLikeAtoi)
{
    struct Case { const char* text; long value; } cases[] = {
        {"000311", 311}, {"12ab34", 12}, {"  42xx", 42}, {"-00005", -5}, {"abcdef", 0}, {"000000", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseDecimalField(c.text, 6), c.value) << c.text;
    EXPECT_EQ(ParseDecimalField("1234567", 6), 123456);
}

TEST(Frames, ReplyHeadersKeepTheClientFields)
{
    std::string mx = "AB34567890" "00000007" "000100";
    WriteReplyHeader(InboundFraming::MxSock, mx.data(), "00001234", 57);
    EXPECT_EQ(mx, "AB34567890" "00001234" "000057");

    std::string tuq(16, '\0');
    WriteReplyHeader(InboundFraming::TuqHeader, tuq.data(), "client-seq-1", 100);
    EXPECT_EQ(ReadBigEndian32(tuq.data()), 116u);
    EXPECT_EQ(tuq.substr(4), "client-seq-1");
}

TEST(Frames, DeclaredLengthsOfBothFramings)
{
    std::string tuq = BuildLengthHeader16("seq", 8192);
    EXPECT_EQ(tuq.size(), 16u);
    EXPECT_EQ(tuq.substr(4), "seq         ");
    EXPECT_EQ(DeclaredDataLength(InboundFraming::TuqHeader, tuq.data()), 8192);

    char tiny[16] = {0, 0, 0, 4};
    EXPECT_EQ(DeclaredDataLength16(tiny), -12);
    char huge[16] = {'\xff', '\xff', '\xff', '\xff'};
    EXPECT_EQ(DeclaredDataLength16(huge), 4294967295LL - 16);

    EXPECT_EQ(DeclaredDataLength(InboundFraming::MxSock, "0100000540" "00000001" "008193"), 8193);
    EXPECT_EQ(HeaderSize(InboundFraming::MxSock), 24);
    EXPECT_EQ(HeaderSize(InboundFraming::TuqHeader), 16);
}

TEST(Frames, UpstreamSequenceFieldsAndMatching)
{
    EXPECT_EQ(UpstreamSequenceField(InboundFraming::TuqHeader, 42), "000000042   ");
    EXPECT_EQ(UpstreamSequenceField(InboundFraming::MxSock, 42), "000000042000");

    EXPECT_TRUE(UpstreamSequenceMatches(InboundFraming::TuqHeader, 42, "000000042xyz"));
    EXPECT_FALSE(UpstreamSequenceMatches(InboundFraming::TuqHeader, 42, "100000042   "));
    // MxSock claims compare only bytes 1 to 8.
    EXPECT_TRUE(UpstreamSequenceMatches(InboundFraming::MxSock, 42, "900000042999"));
    EXPECT_FALSE(UpstreamSequenceMatches(InboundFraming::MxSock, 43, "000000042000"));

    EXPECT_EQ(UpstreamSequenceNumber("000001234000"), 1234);
}

TEST(Frames, SequenceCounterWraps)
{
    EXPECT_EQ(FollowingSequenceNumber(1), 2);
    EXPECT_EQ(FollowingSequenceNumber(99999998), 99999999);
    EXPECT_EQ(FollowingSequenceNumber(99999999), 1);
}
