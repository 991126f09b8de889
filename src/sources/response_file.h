#pragma once
#include "base/controller_state.h"

#include <string>

// Answers a claim file: writes the reply (with the claim's VISA framing
// re-applied) into its response file under a temporary name renamed into
// place, then deletes the claim or moves it into the archive folder.
// Returns failureCount to 0 once the response stage succeeded; counts the
// pass as failed when it raises. Throws ClaimError with a text for people.
void WriteResponseFile(ControllerState& state, const std::string& claimPath,
                       const std::string& reply, bool hadStx, bool hadEtx,
                       unsigned char lrcByte);
