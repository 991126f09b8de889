#pragma once
#include <string>

// A plausible NCPDP 5.1 billing claim (B1) with one transaction whose
// prescription number (field D2) is rxNumber as seven digits.
std::string BuildSampleClaim(unsigned rxNumber);

// The D2 field text ("D2" and seven digits) of that claim.
std::string PrescriptionField(unsigned rxNumber);
