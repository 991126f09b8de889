#include "relay/frames.h"

#include "base/format_text.h"

#include <arpa/inet.h>
#include <cctype>
#include <cstring>

void SwapLength32(uint32_t& value)
{
    value = htonl(value);
}

uint32_t ReadBigEndian32(const char* field)
{
    uint32_t value;
    std::memcpy(&value, field, sizeof value);
    SwapLength32(value);
    return value;
}

void WriteBigEndian32(char* field, uint32_t value)
{
    SwapLength32(value);
    std::memcpy(field, &value, sizeof value);
}

long ParseDecimalField(const char* field, int count)
{
    int i = 0;
    while (i < count && (field[i] == ' ' || field[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < count && (field[i] == '-' || field[i] == '+')) {
        negative = field[i] == '-';
        ++i;
    }
    long value = 0;
    for (; i < count && std::isdigit(static_cast<unsigned char>(field[i])); ++i)
        value = value * 10 + (field[i] - '0');
    return negative ? -value : value;
}

std::string BuildClaimHeader(long sequence, int bodyLength)
{
    return FormatText("%2.2s%2.2s%6.6s%.8ld%6.6d", "01", "00", "000540", sequence, bodyLength);
}

ClaimHeaderFields ParseClaimHeader(const char* header)
{
    ClaimHeaderFields fields;
    fields.version.assign(header, 2);
    fields.prefix.assign(header, 10);
    fields.sequence.assign(header + 10, kClaimSequenceSize);
    fields.bodyLength = ParseDecimalField(header + 18, 6);
    return fields;
}

void WriteClaimReplyHeader(char* header, const char* clientSequence8, int replyLength)
{
    std::memcpy(header + 10, clientSequence8, kClaimSequenceSize);
    std::string length = FormatText("%.6d", replyLength);
    std::memcpy(header + 18, length.data(), 6);
}

void WriteLengthHeader16(char* header, const char* sequence12, int dataLength)
{
    WriteBigEndian32(header, static_cast<uint32_t>(dataLength + 16));
    std::memcpy(header + 4, sequence12, kTuqSequenceSize);
}

std::string BuildLengthHeader16(const std::string& sequence12, int dataLength)
{
    std::string header(16, ' ');
    std::string sequence = sequence12;
    sequence.resize(kTuqSequenceSize, ' ');
    WriteLengthHeader16(header.data(), sequence.data(), dataLength);
    return header;
}

long long DeclaredDataLength16(const char* header)
{
    return static_cast<long long>(ReadBigEndian32(header)) - 16;
}

int HeaderSize(InboundFraming framing)
{
    return framing == InboundFraming::TuqHeader ? kTuqHeaderSize : kClaimHeaderSize;
}

int ClientSequenceSize(InboundFraming framing)
{
    return framing == InboundFraming::TuqHeader ? kTuqSequenceSize : kClaimSequenceSize;
}

int ClientSequenceOffset(InboundFraming framing)
{
    return framing == InboundFraming::TuqHeader ? 4 : 10;
}

long long DeclaredDataLength(InboundFraming framing, const char* header)
{
    if (framing == InboundFraming::TuqHeader)
        return DeclaredDataLength16(header);
    return ParseDecimalField(header + 18, 6);
}

void WriteReplyHeader(InboundFraming framing, char* header, const char* clientSequence,
                      int replyLength)
{
    if (framing == InboundFraming::TuqHeader)
        WriteLengthHeader16(header, clientSequence, replyLength);
    else
        WriteClaimReplyHeader(header, clientSequence, replyLength);
}

std::string UpstreamSequenceField(InboundFraming framing, long seqNo)
{
    if (framing == InboundFraming::TuqHeader)
        return FormatText("%.9ld   ", seqNo);
    return FormatText("0%.8ld000", seqNo);
}

bool UpstreamSequenceMatches(InboundFraming framing, long seqNo, const char* sequence12)
{
    if (framing == InboundFraming::TuqHeader)
        return FormatText("%.9ld", seqNo).compare(0, 9, sequence12, 9) == 0;
    return FormatText("%.8ld", seqNo).compare(0, 8, sequence12 + 1, 8) == 0;
}

long UpstreamSequenceNumber(const char* sequence12)
{
    return ParseDecimalField(sequence12 + 1, 8);
}

long FollowingSequenceNumber(long current)
{
    return current >= 99999999 ? 1 : current + 1;
}
