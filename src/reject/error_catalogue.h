#pragma once
#include <string>

// The replies sent in place of the switch's response when the switch cannot
// answer. Each names the failure and this installation's SystemID.

enum class ErrorReply {
    HostDisconnected,     // TUQ02: the upstream connection was lost
    ProcessorTimedOut,    // TUQ06: no response before the deadline
    ProcessorUnavailable, // TUQ07: the switch cannot be reached
    HostResponseError,    // TUQ08: the response could not be read
};

struct ErrorReplyEntry {
    const char* code;          // "TUQ07"
    const char* messageFormat; // exactly one %s, the SystemID
    const char* rejectCodes;   // concatenated two-character NCPDP reject codes
};

const ErrorReplyEntry& ErrorReplyFor(ErrorReply reply);

// The entry's message with the SystemID filled in.
std::string ErrorReplyText(const ErrorReplyEntry& entry, const std::string& systemId);

// The NCPDP reject response to claimData (may be null) for the entry.
// Returns the result of createNcpdpRejectResponse; out holds the response on 0.
int BuildErrorReply(ErrorReply reply, const std::string& systemId, const char* claimData, int length,
                    std::string& out);

// The processor-unavailable reply to claim for the claim-file route, with the
// SystemID read from the settings now. False (response untouched) when no
// reply could be built.
bool hostUnavailableMsg(const std::string& claim, std::string& response);
