#pragma once
#include <cstdint>
#include <string>

// Wire formats of the relay: the two inbound framings (the 24-byte
// ClaimHeader of the MxSock framing and the 16-byte Tuq Header) and the
// 16-byte upstream frame to the switch. Pure functions over byte buffers;
// headers are never encrypted.

constexpr int kClaimHeaderSize = 24;   // MxSock framing
constexpr int kTuqHeaderSize = 16;     // Tuq Header framing
constexpr int kUpstreamHeaderSize = 16;
constexpr int kMaxFrameData = 8192;    // largest claim or response body

constexpr int kClaimSequenceSize = 8;  // MxSock client sequence field
constexpr int kTuqSequenceSize = 12;   // Tuq Header and upstream sequence field

enum class InboundFraming { MxSock, TuqHeader };

// Converts a 32-bit value between host order and big-endian order in place;
// the same operation serves both directions.
void SwapLength32(uint32_t& value);

// A 32-bit big-endian number stored at field[0..3].
uint32_t ReadBigEndian32(const char* field);
void WriteBigEndian32(char* field, uint32_t value);

// Reads a decimal number the way the C library's atoi does, limited to
// count bytes: leading blanks, an optional sign, then digits up to the first
// non-digit. No digits give 0.
long ParseDecimalField(const char* field, int count);

// --- ClaimHeader (MxSock framing) -------------------------------------------
// "%2.2s%2.2s%6.6s%.8d%6.6d": version "01", "00", "000540", the sender's
// sequence number, the body length.
std::string BuildClaimHeader(long sequence, int bodyLength);

struct ClaimHeaderFields {
    std::string version;   // bytes 0-1
    std::string prefix;    // bytes 0-9, returned unchanged in a reply
    std::string sequence;  // bytes 10-17
    long bodyLength = 0;   // bytes 18-23
};
ClaimHeaderFields ParseClaimHeader(const char* header);

// Completes a reply header in place: bytes 0-9 stay as received, then the
// 8-byte client sequence and the reply length as six digits.
void WriteClaimReplyHeader(char* header, const char* clientSequence8, int replyLength);

// --- Tuq Header framing and the upstream frame ----------------------------
// Both are a big-endian total length (16 + data) followed by a 12-byte
// sequence field.
std::string BuildLengthHeader16(const std::string& sequence12, int dataLength);
void WriteLengthHeader16(char* header, const char* sequence12, int dataLength);

// Data length declared by a complete 16-byte header: total length minus 16.
// May be negative or above kMaxFrameData; the caller judges it.
long long DeclaredDataLength16(const char* header);

// --- Inbound framing helpers ------------------------------------------------
int HeaderSize(InboundFraming framing);
int ClientSequenceSize(InboundFraming framing);
// Offset of the client sequence field inside the inbound header.
int ClientSequenceOffset(InboundFraming framing);

// Data length declared by a complete inbound header.
long long DeclaredDataLength(InboundFraming framing, const char* header);

// Completes an inbound reply header in place, in the request's framing.
void WriteReplyHeader(InboundFraming framing, char* header, const char* clientSequence,
                      int replyLength);

// --- Relay sequence numbers --------------------------------------------------
// The upstream sequence field of a transaction: "%.9d" and three spaces for
// a Tuq Header claim, "0", "%.8d" and "000" for an MxSock claim.
std::string UpstreamSequenceField(InboundFraming framing, long seqNo);

// True when the upstream sequence field (12 bytes) names seqNo: nine digits
// at bytes 0-8 (Tuq Header) or eight digits at bytes 1-8 (MxSock).
bool UpstreamSequenceMatches(InboundFraming framing, long seqNo, const char* sequence12);

// The number printed in bytes 1 to 8 of an upstream sequence field.
long UpstreamSequenceNumber(const char* sequence12);

// The relay counter's successor: 99,999,999 is followed by 1.
long FollowingSequenceNumber(long current);
