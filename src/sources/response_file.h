#pragma once
#include "base/controller_state.h"

#include <string>

// Answers a claim file: writes the reply (with the claim's VISA framing
// re-applied) into its response file under a temporary name renamed into
// place, then deletes the claim or moves it into the archive folder.
// Failures throw ClaimError with a text for people.

// A claim's response file: its final path and the temporary file in the same
// folder that becomes it.
struct ResponseFile {
    std::string folder;
    std::string path;
    std::string tempPath;  // empty while none exists
};

// Names the response file and creates its temporary file, so that a folder
// that cannot take the response fails before the claim is sent. Refuses a
// response that would replace its own claim.
ResponseFile CreateResponseFile(ControllerState& state, const std::string& claimPath);
// Removes the temporary file of a response that will not be written.
void DiscardResponseFile(ResponseFile& file);

// Writes the response of a claim that is still in place, into prepared's
// temporary file when one is given. False (nothing written) when the claim
// file is gone. Counts the pass as failed when it raises.
bool StoreResponse(ControllerState& state, const std::string& claimPath, const std::string& reply,
                   bool hadStx, bool hadEtx, unsigned char lrcByte,
                   ResponseFile* prepared = nullptr);
// Deletes the answered claim or moves it into the archive folder.
void RetireClaim(ControllerState& state, const std::string& claimPath);

// Both steps; failureCount returns to 0 once the response is stored.
void WriteResponseFile(ControllerState& state, const std::string& claimPath,
                       const std::string& reply, bool hadStx, bool hadEtx,
                       unsigned char lrcByte);
