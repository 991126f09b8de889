#pragma once
#include <string>

// Builds, without the switch, an NCPDP response that rejects every
// transaction of a claim with the caller's reject codes and message, in the
// layout of the claim: segments and fields for version 5 claims, the older
// fixed positions otherwise. Defects of the claim's header add their own
// missing/invalid reject code in front and are logged to the network log;
// they never fail the call.

constexpr int RejectResponseBuilt = 0;
constexpr int RejectBadArguments = -1;
constexpr int RejectOutOfMemory = -3;

// claimData may be null (no claim); length is its byte count. codes is a
// non-empty text of concatenated two-character reject codes; message must be
// non-empty. out is emptied on entry and holds the response on success.
// Returns RejectResponseBuilt, RejectBadArguments or RejectOutOfMemory.
int createNcpdpRejectResponse(const char* claimData, int length, const char* codes,
                              const char* message, std::string& out);
