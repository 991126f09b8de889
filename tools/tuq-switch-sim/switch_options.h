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

struct SwitchOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 6101;
    bool twofish = false;
    bool verbose = false;
    TlsOptions tls;
    FaultOptions faults;
};

// Reads the command line of app. Prints help or an error and ends the
// process when asked for help or when an option is wrong.
SwitchOptions ParseSwitchOptions(const QCoreApplication& app);
