#include "sources/pharmacy_profile.h"

PharmacyProfile::PharmacyProfile(int number) : number_(number >= 0 && number <= 7 ? number : 0)
{
}

bool PharmacyProfile::CrLfForDialWithoutEcho() const
{
    return number_ == 0 || number_ == 2 || number_ == 6 || number_ == 7;
}

std::string PharmacyProfile::ConnectReport(int speed) const
{
    switch (number_) {
    case 1: return "9\r";
    case 3: return "\r\nCONNECT " + std::to_string(speed) + "/NONE\r\n";
    case 4: return "\r\nCONNECT 2400 NoEC\r\n";
    case 5: return "\r\nCONNECT 2400\r\n";
    default: return "CONNECT " + std::to_string(speed) + "\r\n";
    }
}

std::string PharmacyProfile::NoCarrierReport() const
{
    if (number_ == 1)
        return "3\r";
    if (number_ == 2 || number_ == 7)
        return "\r\nNO CARRIER\r\n";
    return "NO CARRIER\r\n+++";
}
