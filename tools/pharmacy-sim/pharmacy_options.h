#pragma once
#include "relay/frames.h"

#include <cstdint>
#include <string>

class QCoreApplication;

// How the claims reach an inbound socket port.
struct SocketLoadOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;
    InboundFraming framing = InboundFraming::MxSock;
    bool twofish = false;
    int connections = 1;
    int claimsPerConnection = 1;
    int outstanding = 1;  // claims in flight per connection
    int replyTimeoutSeconds = 60;
    bool expectPaid = false;  // every reply must be a paid response
};

// How the claims reach a modem emulator on a serial line.
struct SerialLoadOptions {
    std::string device;
    int profile = 0;  // the pharmacy-system profile, 0 to 7
    int baud = 19200;
    bool echo = true;  // the echo setting the command lines ask for
    std::string phone = "5550100";
    bool lrc = false;
    bool visa2 = false;
    bool hangupWithEscape = false;  // VISA II ends with "+++", else "ATH0"
    bool nakFirst = false;          // answer the first response with NAK once
    int claims = 1;
    int timeoutSeconds = 60;
    bool expectPaid = false;
};

struct PharmacyOptions {
    bool serial = false;  // which of the two below applies
    SocketLoadOptions socket;
    SerialLoadOptions serialLine;
};

// Reads the command line of app. Prints help or an error and ends the
// process when asked for help or when an option is wrong.
PharmacyOptions ParsePharmacyOptions(const QCoreApplication& app);
