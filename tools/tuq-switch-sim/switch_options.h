#pragma once
#include <cstdint>
#include <optional>
#include <string>

class QCoreApplication;

// Misbehaviour on request. Faults apply to the claims of a connection from
// claim number fromClaim on (1-based, counted per connection); earlier claims
// get a prompt paid answer.
struct FaultOptions {
    int delayMs = 0;                          // answer this long after the claim arrived
    bool noAnswer = false;                    // read the claim, never answer it
    bool closeConnection = false;             // close the connection instead of answering
    std::optional<std::uint32_t> lengthField; // written instead of the true frame length
    int reverseBatch = 0;                     // hold answers until this many, send them last first
    int fromClaim = 1;
};

struct TlsOptions {
    bool enabled = false;
    std::string certFile;    // server certificate (PEM, may hold the chain)
    std::string keyFile;     // its private key (PEM); the certificate file when empty
    std::string keyPassword; // for an encrypted key
    std::string caFile;      // client certificates must verify against this
    int maxVersion = 0;      // OpenSSL protocol version constant; 0 = the library's highest
};

// The modem mode: the pharmacy's modem and the switch behind it on a serial line.
struct ModemOptions {
    std::string device;          // empty: network mode
    int connectSpeed = 9600;     // the speed reported in CONNECT
    int busyDials = 0;           // the first dials answer BUSY
    bool noCarrier = false;      // every dial answers NO CARRIER
    bool noEnq = false;          // the switch never sends ENQ
    bool nakFirst = false;       // the first good claim frame of a call gets NAK
    bool badLrc = false;         // the first response frame of a call has a wrong LRC
    bool silentAfterFrame = false;  // claim frames are never answered
    bool eotInsteadOfEnq = false;   // after the ACK: EOT and hang up
};

struct SwitchOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 6101;
    bool twofish = false;
    bool verbose = false;
    TlsOptions tls;
    FaultOptions faults;
    ModemOptions modem;
};

// Reads the command line of app. Prints help or an error and ends the
// process when asked for help or when an option is wrong.
SwitchOptions ParseSwitchOptions(const QCoreApplication& app);
