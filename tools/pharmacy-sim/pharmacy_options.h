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
    int replyTimeoutSeconds = 60;
    bool expectPaid = false;  // every reply must be a paid response
};

// Reads the command line of app. Prints help or an error and ends the
// process when asked for help or when an option is wrong.
SocketLoadOptions ParsePharmacyOptions(const QCoreApplication& app);
