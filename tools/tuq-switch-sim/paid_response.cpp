#include "paid_response.h"

#include "base/format_text.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

constexpr char FS = 0x1C;
constexpr char GS = 0x1D;
constexpr char RS = 0x1E;
constexpr size_t requestHeaderSize = 56;
constexpr size_t maxTransactions = 4;

bool IsSeparator(char c)
{
    return c == FS || c == GS || c == RS;
}

std::string SkipRoutingPrefix(const std::string& claim)
{
    auto startsWith = [&](const char* prefix, size_t n) {
        if (claim.size() < n)
            return false;
        for (size_t i = 0; i < n; ++i)
            if (std::toupper(static_cast<unsigned char>(claim[i])) != prefix[i])
                return false;
        return true;
    };
    if (startsWith("HN.", 3) || startsWith("HS.", 3))
        return claim.substr(3);
    if (startsWith("P.", 2))
        return claim.substr(2);
    return claim;
}

// Bytes [offset, offset + width) of the body, padded with spaces.
std::string HeaderField(const std::string& body, size_t offset, size_t width)
{
    std::string field = offset < body.size() ? body.substr(offset, width) : std::string();
    field.resize(width, ' ');
    return field;
}

size_t TransactionCount(const std::string& body)
{
    char c = body.size() > 20 ? body[20] : '1';
    return (c >= '1' && c <= '4') ? static_cast<size_t>(c - '0') : 1;
}

// Start offsets (the GS byte) of the transactions after the request header.
std::vector<size_t> TransactionStarts(const std::string& body)
{
    std::vector<size_t> starts;
    for (size_t i = requestHeaderSize; i < body.size() && starts.size() < maxTransactions; ++i)
        if (body[i] == GS)
            starts.push_back(i);
    return starts;
}

// A field is a separator followed by its two-character id; its text (id
// included) runs to the next separator. Empty when not found in [from, to).
std::string FindField(const std::string& body, size_t from, size_t to, const char* id)
{
    for (size_t i = from; i + 2 < to; ++i) {
        if (!IsSeparator(body[i]) || body[i + 1] != id[0] || body[i + 2] != id[1])
            continue;
        size_t end = i + 1;
        while (end < to && !IsSeparator(body[end]))
            ++end;
        return body.substr(i + 1, end - i - 1);
    }
    return {};
}

std::string ClaimSegment(const std::string& body, size_t from, size_t to)
{
    std::string em = FindField(body, from, to, "EM");
    std::string d2 = FindField(body, from, to, "D2");
    if (em.empty() || d2.empty())
        return {};
    return std::string{RS, FS} + "AM22" + FS + em + FS + d2;
}

}  // namespace

std::string BuildPaidResponse(const std::string& claim, unsigned authorization)
{
    const std::string body = SkipRoutingPrefix(claim);
    const size_t count = TransactionCount(body);

    std::string response = HeaderField(body, 6, 2) + HeaderField(body, 8, 2)
        + static_cast<char>('0' + count) + 'A' + HeaderField(body, 21, 25);
    response += std::string{RS, FS} + "AM20" + FS + "F4CLAIM PAID";

    const std::vector<size_t> starts = TransactionStarts(body);
    for (size_t k = 0; k < count; ++k) {
        response += std::string{GS, RS, FS} + "AM21" + FS + "ANP" + FS + "F3"
            + FormatText("%010u", authorization);
        if (k < starts.size()) {
            size_t end = k + 1 < starts.size() ? starts[k + 1] : body.size();
            response += ClaimSegment(body, starts[k], end);
        }
    }
    return response;
}
