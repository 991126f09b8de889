#include "reject/ncpdp_reject.h"

#include "base/format_text.h"
#include "base/general_log.h"
#include "base/net_log.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

namespace {

constexpr char FS = 0x1C;
constexpr char GS = 0x1D;
constexpr char RS = 0x1E;

constexpr int MaxCodesVersion5 = 99;
constexpr int MaxCodesOlder = 20;
constexpr int MaxTransactions = 4;
constexpr size_t HeaderSize = 31;
constexpr size_t TransactionsOffset = 56;  // first byte after the request header

const std::string_view RecapText = "3280TADVPCS RECAP AVAILABILITY TEST SUCCESSFUL";

// What the builder knows about the bytes it was given.
struct Claim {
    bool absent = false;
    std::string_view data;  // everything, routing prefix included
    std::string_view body;  // request header and transactions; empty unless a request
    bool version5 = false;
};

// The response header as it is being filled in, and the defects found.
struct Header {
    std::string bytes = std::string(HeaderSize, ' ');
    std::string code;                      // the first defect's reject code, empty when none
    int transactions = 1;
    bool countFixed = false;               // set to 1 by a header too short to carry one
    std::vector<size_t> transactionStarts; // body positions of the GS bytes
};

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return true;
}

bool EqualsNoCase(std::string_view text, std::string_view other)
{
    return text.size() == other.size() && StartsWithNoCase(text, other);
}

size_t RoutingPrefixLength(std::string_view data)
{
    if (StartsWithNoCase(data, "HN.") || StartsWithNoCase(data, "HS."))
        return 3;
    if (data.substr(0, 2) == "P.")
        return 2;
    return 0;
}

bool IsSeparator(char c)
{
    return c == FS || c == GS || c == RS;
}

// A response handed back to us, or the switch's availability test answer,
// carries no request header to echo.
bool IsRequest(std::string_view data, std::string_view rest)
{
    size_t n = rest.size();
    if (n >= 6 && (rest[5] == FS || rest[5] == GS))
        return false;
    if (n >= 5 && rest[0] != '5' && (rest.substr(2, 3) == "11A" || rest.substr(2, 3) == "11R"))
        return false;
    if (n >= 6 && rest[0] == '5' && (rest[5] == 'A' || rest[5] == 'R')
        && (n < 32 || rest[31] == RS || rest[31] == GS))
        return false;
    return !EqualsNoCase(data, RecapText);
}

Claim ReadClaim(const char* claimData, int length)
{
    Claim claim;
    if (!claimData) {
        claim.absent = true;
        return claim;
    }
    claim.data = std::string_view(claimData, static_cast<size_t>(std::max(length, 0)));
    std::string_view rest = claim.data.substr(RoutingPrefixLength(claim.data));
    bool request = IsRequest(claim.data, rest);
    if (request) {
        claim.version5 = rest.size() >= 7 && rest[6] == '5';
        if (rest.size() >= 6)
            claim.body = rest;
    } else {
        claim.version5 = rest.size() >= 3 && rest[0] == '5';
    }
    return claim;
}

void LogDefect(const std::string& what, const Claim& claim)
{
    std::string shown = PrintableText(std::string(claim.data));
    mxLog("createNcpdpRejectResponse() Error: M/I %s. ClaimData(%.*s)", what.c_str(),
          static_cast<int>(shown.size()), shown.data());
}

// Only the first defect is coded and logged.
void SetDefect(Header& header, const char* code, const std::string& what, const Claim& claim)
{
    if (!header.code.empty())
        return;
    header.code = code;
    LogDefect(what, claim);
}

void FixCountToOne(Header& header)
{
    header.transactions = 1;
    header.countFixed = true;
}

// Version/release and transaction code, the part both layouts share.
void CheckCommonHeader(const Claim& claim, Header& header)
{
    std::string_view body = claim.body;
    size_t n = body.size();
    if (n < 8) {
        if (claim.absent) {
            header.code = "01";
            mxLog("createNcpdpRejectResponse() Error: claimData is NULL");
        } else if (n < 6) {
            SetDefect(header, "01", "bin number", claim);
        } else {
            SetDefect(header, "02", "version/release number", claim);
        }
        if (n == 7)
            header.bytes[0] = body[6];
        FixCountToOne(header);
        return;
    }
    header.bytes.replace(0, 2, body.substr(6, 2));
    if (n >= 10) {
        header.bytes.replace(2, 2, body.substr(8, 2));
        if (!claim.version5 && body[8] == '1' && body[9] != '1')
            SetDefect(header, "03", "(reversal) transaction code", claim);
    } else {
        if (n == 9)
            header.bytes[2] = body[8];
        SetDefect(header, "03", "transaction code", claim);
    }
}

void ReadVersion5TransactionCount(char count, const Claim& claim, Header& header)
{
    if (count == '1' || count == ' ') {
        header.transactions = 1;
    } else if (count >= '2' && count <= '4') {
        header.transactions = count - '0';
    } else {
        LogDefect(FormatText("(Invalid) transaction count(%c)", count), claim);
        if (header.code.empty())
            header.code = "A9";
        header.transactions = 1;
    }
}

void FindTransactionStarts(std::string_view body, Header& header)
{
    for (size_t i = TransactionsOffset; i < body.size(); ++i) {
        if (header.transactionStarts.size() == MaxTransactions)
            return;
        if (body[i] == GS)
            header.transactionStarts.push_back(i);
    }
}

void CheckVersion5Header(const Claim& claim, Header& header)
{
    std::string_view body = claim.body;
    size_t n = body.size();
    if (n < 20)
        SetDefect(header, "04", "processor control number", claim);
    if (n >= 21) {
        header.bytes[4] = body[20];
        ReadVersion5TransactionCount(body[20], claim, header);
        FindTransactionStarts(body, header);
    } else {
        SetDefect(header, "A9", "(Missing) transaction count", claim);
        header.transactions = 1;
    }
    if (n < 23)
        SetDefect(header, "B2", "service provider id qualifier", claim);
    if (n < 38)
        SetDefect(header, "05", "service provider id", claim);
    if (n < 46)
        SetDefect(header, "15", "date of service", claim);
    if (n < TransactionsOffset)
        SetDefect(header, "AK", "software vendor/certification id", claim);
    header.bytes[5] = header.code.empty() ? 'A' : 'R';
    if (n >= 22) {
        std::string_view provider = body.substr(21, 25);  // qualifier, id, date of service
        header.bytes.replace(6, provider.size(), provider);
    }
}

void ReadOlderTransactionCount(const Claim& claim, Header& header)
{
    if (header.countFixed)
        return;
    char digit = header.bytes[3];
    if (digit >= '1' && digit <= '4') {
        header.transactions = digit - '0';
        return;
    }
    header.transactions = 1;
    if (!header.code.empty())
        return;
    header.code = "03";
    std::string shown = PrintableText(std::string(claim.data));
    mxLog("createNcpdpRejectResponse() Error: M/I transaction code(%.2s).ClaimData(%.*s), Using Claims=1.",
          header.bytes.c_str() + 2, static_cast<int>(shown.size()), shown.data());
}

// The header code goes first unless the caller already asked for it; a full
// list gives up its last code to make room.
std::string FinalCodes(const std::string& callerCodes, const std::string& headerCode, int maxCodes)
{
    if (headerCode.empty())
        return callerCodes;
    if (static_cast<int>(callerCodes.size() / 2) == maxCodes)
        return headerCode + callerCodes.substr(0, callerCodes.size() - 2);
    for (size_t i = 0; i < callerCodes.size(); i += 2) {
        if (callerCodes.compare(i, 2, headerCode) == 0)
            return callerCodes;
    }
    return headerCode + callerCodes;
}

// A field is a separator followed by its two-character id; it runs to the
// next separator. Searched for in body[from, to).
std::string_view FindField(std::string_view body, size_t from, size_t to, std::string_view id)
{
    for (size_t p = from; p < to && p + 2 < body.size(); ++p) {
        if (IsSeparator(body[p]) && body.substr(p + 1, 2) == id) {
            size_t end = p + 1;
            while (end < body.size() && !IsSeparator(body[end]))
                ++end;
            return body.substr(p + 1, end - p - 1);
        }
    }
    return {};
}

// Echoes the prescription reference of transaction k, when it can be found.
std::string ClaimSegment(const Claim& claim, const Header& header, int k)
{
    std::string_view body = claim.body;
    const auto& starts = header.transactionStarts;
    if (body.size() <= TransactionsOffset || body.substr(8, 2) == "E1" || static_cast<size_t>(k) >= starts.size())
        return {};
    size_t end = body.size();
    if (k + 1 < header.transactions) {
        if (static_cast<size_t>(k + 1) >= starts.size())
            return {};
        end = starts[k + 1];
    }
    std::string_view em = FindField(body, starts[k], end, "EM");
    std::string_view d2 = FindField(body, starts[k], end, "D2");
    if (em.empty() || d2.empty())
        return {};
    std::string segment = {RS, FS};
    segment += "AM22";
    segment += FS;
    segment += em.substr(0, 3);
    segment += FS;
    segment += d2.substr(0, 9);
    return segment;
}

std::string BuildVersion5(const Claim& claim, const Header& header, const std::string& codes,
                          std::string_view message)
{
    std::string out = header.bytes;
    out += {RS, FS};
    out += "AM20";
    out += FS;
    out += "F4";
    out += message.substr(0, 200);
    for (int k = 0; k < header.transactions; ++k) {
        out += {GS, RS, FS};
        out += "AM21";
        out += FS;
        out += "ANR";
        out += FS;
        out += "FA" + std::to_string(codes.size() / 2);
        for (size_t i = 0; i < codes.size(); i += 2) {
            out += FS;
            out += "FB";
            out += codes.substr(i, 2);
        }
        out += ClaimSegment(claim, header, k);
    }
    return out;
}

std::string CountAndCodes(const std::string& codes)
{
    return FormatText("%.2d%s", static_cast<int>(codes.size() / 2), codes.c_str());
}

// Codes would run into the message at position 27, so only the ten that fit
// before it are sent.
std::string BuildOlderReversal(const Header& header, const std::string& codes, std::string_view message)
{
    constexpr size_t MessageAt = 27;
    constexpr size_t CodesThatFit = (MessageAt - 7) / 2;
    std::string out(100, ' ');
    out.replace(0, 4, header.bytes.substr(0, 4));
    out[4] = 'R';
    std::string list = CountAndCodes(codes.substr(0, 2 * CodesThatFit));
    out.replace(5, list.size(), list);
    std::string_view text = message.substr(0, 73);
    out.replace(MessageAt, text.size(), text);
    return out;
}

std::string BuildOlderClaim(const Header& header, const std::string& codes, std::string_view message)
{
    constexpr size_t BlockSize = 424;
    std::string out(16 + BlockSize * header.transactions, ' ');
    out.replace(0, 4, header.bytes.substr(0, 4));
    out[4] = header.code.empty() ? 'A' : 'R';
    out[5] = FS;
    out.replace(6, 2, "FO");
    std::string list = CountAndCodes(codes);
    std::string_view text = message.substr(0, 42);
    for (int k = 0; k < header.transactions; ++k) {
        size_t block = 16 + BlockSize * k;
        out[block] = GS;
        out[block + 1] = 'R';
        out.replace(block + 2, list.size(), list);
        out.replace(block + 44, text.size(), text);
        out[block + 86] = FS;
        out.replace(block + 87, 2, "FP");
        out[block + 249] = FS;
        out.replace(block + 250, 2, "FQ");
    }
    return out;
}

bool ArgumentsValid(const char* codes, const char* message)
{
    if (!message || !*message) {
        mxLog("createNcpdpRejectResponse() Error: message is NULL");
        return false;
    }
    if (!codes || !*codes) {
        mxLog("createNcpdpRejectResponse() Error: codes is NULL or empty string");
        return false;
    }
    if (std::strlen(codes) % 2 != 0) {
        mxLog("createNcpdpRejectResponse() Error: Specify codes in pairs of 2 characters");
        return false;
    }
    return true;
}

std::string LimitCodes(const std::string& codes, int maxCodes)
{
    int count = static_cast<int>(codes.size() / 2);
    if (count <= maxCodes)
        return codes;
    mxLog("createNcpdpRejectResponse() Alert: Too many (%d) error codes specified.  (Max allows is %d.)",
          count, maxCodes);
    return codes.substr(0, 2 * static_cast<size_t>(maxCodes));
}

std::string BuildResponse(const char* claimData, int length, const char* codes, const char* message)
{
    Claim claim = ReadClaim(claimData, length);
    int maxCodes = claim.version5 ? MaxCodesVersion5 : MaxCodesOlder;
    std::string callerCodes = LimitCodes(codes, maxCodes);

    Header header;
    CheckCommonHeader(claim, header);
    if (claim.version5)
        CheckVersion5Header(claim, header);
    else
        ReadOlderTransactionCount(claim, header);
    std::string finalCodes = FinalCodes(callerCodes, header.code, maxCodes);

    if (claim.version5)
        return BuildVersion5(claim, header, finalCodes, message);
    if (header.bytes.compare(2, 2, "11") == 0)
        return BuildOlderReversal(header, finalCodes, message);
    return BuildOlderClaim(header, finalCodes, message);
}

} // namespace

int createNcpdpRejectResponse(const char* claimData, int length, const char* codes,
                              const char* message, std::string& out)
{
    out.clear();
    if (!ArgumentsValid(codes, message))
        return RejectBadArguments;
    try {
        out = BuildResponse(claimData, length, codes, message);
    } catch (const std::bad_alloc&) {
        out.clear();
        return RejectOutOfMemory;
    }
    return RejectResponseBuilt;
}
