#pragma once
#include <optional>
#include <string>

// What one AT command line asks of the modem.
struct HayesRequest {
    bool error = false;          // something on the line is not understood
    std::optional<bool> echo;    // the echo setting after the line
    bool hangUp = false;         // H, H0 or Z
    bool online = false;         // O: back to the held call
    std::optional<std::string> dial;  // D: the number (digits and dial modifiers)
};

// Reads a command line without its CR; it starts with "AT" in either case.
// Commands are taken one after another; a dial ends the line.
HayesRequest ParseHayesLine(const std::string& line);
