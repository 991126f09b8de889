#pragma once
#include <string>

// A paid NCPDP 5.1 response to a claim, in the layout a claims switch sends:
//   header (31 bytes): version/release, transaction code, transaction count,
//     status 'A', service provider ID qualifier, service provider ID and date
//     of service, all echoed from the claim's request header (spaces where
//     the claim is too short);
//   message segment: RS FS "AM20" FS "F4CLAIM PAID";
//   per transaction: GS RS FS "AM21" FS "ANP" FS "F3" authorization number,
//     then, when the claim's transaction carries them, a claim segment
//     RS FS "AM22" FS <EM field> FS <D2 field> echoing the prescription.
// A routing prefix ("HN.", "HS.", "P.") in front of the claim is skipped.
std::string BuildPaidResponse(const std::string& claim, unsigned authorization);
