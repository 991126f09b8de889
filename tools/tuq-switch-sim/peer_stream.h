#pragma once
#include <openssl/ssl.h>

#include <cstddef>
#include <string>

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
    // Bytes already decrypted and waiting, which poll() cannot see.
    bool hasBufferedInput() const;
    // Ends the connection: TLS close_notify when TLS, then both directions.
    void close();
    int fd() const { return fd_; }

private:
    int fd_;
    SSL* ssl_ = nullptr;
};
