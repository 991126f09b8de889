#pragma once
#include <string>

// A short NCPDP 5.1 billing claim (B1) with one transaction whose
// prescription number is rxNumber as seven digits.
std::string BenchClaim(int rxNumber);

// The prescription field ("D2" and seven digits) of that claim, which the
// switch's paid answer echoes.
std::string BenchPrescription(int rxNumber);
