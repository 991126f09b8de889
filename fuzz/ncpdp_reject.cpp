// The NCPDP reject builder over any claim. The first input byte picks the
// catalogue entry, whether the reject codes come from the input, and whether
// the message or the claim is missing.

#include "fuzz_check.h"
#include "reject/error_catalogue.h"
#include "reject/ncpdp_reject.h"

#include <algorithm>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    const char* rest = reinterpret_cast<const char*>(data + 1);
    size_t restSize = size - 1;

    const ErrorReplyEntry& entry = ErrorReplyFor(static_cast<ErrorReply>(mode & 3));
    std::string codes = entry.rejectCodes;
    if (mode & 4) {
        size_t codesSize = std::min<size_t>(restSize, (mode >> 4) % 9);
        codes.assign(rest, codesSize);
        codes = codes.c_str();  // a C text ends at its first NUL
        rest += codesSize;
        restSize -= codesSize;
    }
    std::string message = (mode & 8) ? "" : ErrorReplyText(entry, "FUZZ");
    const char* claim = (mode & 0x80) ? nullptr : rest;

    std::string out = "stale";
    int result = createNcpdpRejectResponse(claim, static_cast<int>(restSize), codes.c_str(),
                                           message.c_str(), out);
    FUZZ_CHECK(result == RejectResponseBuilt || result == RejectBadArguments ||
               result == RejectOutOfMemory);
    if (result == RejectResponseBuilt)
        FUZZ_CHECK(!out.empty());
    return 0;
}
