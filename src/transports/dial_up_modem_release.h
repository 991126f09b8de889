#pragma once
#include <string>

// Frees a modem for a claim call: every active dial-up connection whose pppd
// uses that serial device is hung up, each followed by a three-second pause.
// Errors are logged and ignored. Returns how many were hung up.
int ReleaseModemFromDialUp(const std::string& device);
