#pragma once
#include "answer_schedule.h"
#include "peer_stream.h"
#include "switch_options.h"
#include "base/twofish.h"

#include <atomic>
#include <memory>
#include <openssl/ssl.h>
#include <string>

// One client of the switch: reads claims in the upstream frame and answers
// them as the options ask, until the client closes, a fault closes the
// connection, or the server shuts the socket down.
class ClientConnection {
public:
    // tls is null for plain TCP. authorizations numbers the paid answers
    // across all connections.
    ClientConnection(int fd, int number, const SwitchOptions& options, SSL_CTX* tls,
                     std::atomic<unsigned>& authorizations);

    void run();

private:
    struct Claim {
        std::string sequence;
        std::string data;
    };

    bool readClaim(Claim& claim);
    // True when a whole claim has been received and not yet read.
    bool claimBuffered() const;
    // False when the connection is to end.
    bool handleClaim(Claim claim);
    // Sends every answer that is due, together.
    bool sendDueAnswers();
    // True when input is waiting; false when the next answer fell due first.
    bool waitForInput();
    void report(const std::string& text) const;

    PeerStream stream_;
    int number_;
    const SwitchOptions& options_;
    SSL_CTX* tls_;
    std::atomic<unsigned>& authorizations_;
    AnswerSchedule schedule_;
    std::unique_ptr<TwofishContext> readCipher_;
    std::unique_ptr<TwofishContext> writeCipher_;
};
