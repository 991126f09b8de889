#pragma once
#include "load_summary.h"
#include "pharmacy_options.h"
#include "base/twofish.h"

#include <chrono>
#include <deque>
#include <memory>
#include <string>

// One pharmacy connection: sends its claims, up to options.outstanding at a
// time, and checks every reply against its claim. Stops at the first wrong
// or missing reply.
class ClaimConnection {
public:
    // number tells connections apart in sequence fields and prescriptions.
    ClaimConnection(const SocketLoadOptions& options, int number);
    ~ClaimConnection();
    ClaimConnection(const ClaimConnection&) = delete;
    ClaimConnection& operator=(const ClaimConnection&) = delete;

    ConnectionResult run();

private:
    struct SentClaim {
        int number = 0;
        std::string header;  // as sent
        unsigned rxNumber = 0;
        std::chrono::steady_clock::time_point sentAt;
    };

    bool connect(std::string& error);
    bool sendClaim(int claimNumber, SentClaim& sent, std::string& error);
    // Reads one reply, checks it against the claim in flight whose sequence
    // field it repeats and takes that claim out of inFlight.
    bool readReply(std::deque<SentClaim>& inFlight, SentClaim& answered, std::string& error);
    bool readExact(char* buf, size_t size, std::string& error);
    std::string claimHeader(int claimNumber, int dataLength) const;

    const SocketLoadOptions& options_;
    int number_;
    int fd_ = -1;
    std::unique_ptr<TwofishContext> writeCipher_;
    std::unique_ptr<TwofishContext> readCipher_;
};
