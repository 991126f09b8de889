#pragma once
#include "load_summary.h"
#include "pharmacy_options.h"
#include "base/twofish.h"

#include <memory>
#include <string>

// One pharmacy connection: sends its claims one after the other and checks
// every reply against its claim. Stops at the first wrong or missing reply.
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
        std::string header;  // as sent
        unsigned rxNumber = 0;
    };

    bool connect(std::string& error);
    bool sendClaim(int claimNumber, SentClaim& sent, std::string& error);
    bool readReply(const SentClaim& sent, std::string& reply, std::string& error);
    bool readExact(char* buf, size_t size, std::string& error);
    std::string claimHeader(int claimNumber, int dataLength) const;

    const SocketLoadOptions& options_;
    int number_;
    int fd_ = -1;
    std::unique_ptr<TwofishContext> writeCipher_;
    std::unique_ptr<TwofishContext> readCipher_;
};
