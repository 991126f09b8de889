#pragma once
#include <openssl/ssl.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One accepted connection, plain or TLS, on a blocking socket. The socket
// itself belongs to the caller; the stream owns the TLS session.
class PeerStream {
public:
    explicit PeerStream(int fd);
    ~PeerStream();
    PeerStream(const PeerStream&) = delete;
    PeerStream& operator=(const PeerStream&) = delete;

    // Server side of the TLS handshake; false with error set on failure.
    bool acceptTls(SSL_CTX* ctx, std::string& error);

    // False when the peer closed the connection or reading failed.
    bool readExact(char* buf, size_t size);
    bool writeAll(const char* buf, size_t size);
    // Bytes already received (or decrypted) and waiting, which poll()
    // cannot see.
    bool hasBufferedInput() const;
    // The received bytes not yet read.
    std::string_view buffered() const;
    // Ends the connection: TLS close_notify when TLS, then both directions.
    void close();
    int fd() const { return fd_; }

private:
    // One receive into the empty inbox; false when the peer closed the
    // connection or reading failed.
    bool fillInbox();

    int fd_;
    SSL* ssl_ = nullptr;
    // One receive takes in everything that has arrived: claims sent back to
    // back cost one system call, not two each.
    std::vector<char> inbox_ = std::vector<char>(64 * 1024);
    size_t inboxStart_ = 0;
    size_t inboxEnd_ = 0;
};
