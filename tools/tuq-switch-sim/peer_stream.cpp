#include "peer_stream.h"

#include "tls_server_context.h"

#include <sys/socket.h>

#include <cerrno>

PeerStream::PeerStream(int fd) : fd_(fd) {}

PeerStream::~PeerStream()
{
    SSL_free(ssl_);
}

bool PeerStream::acceptTls(SSL_CTX* ctx, std::string& error)
{
    ssl_ = SSL_new(ctx);
    if (!ssl_ || SSL_set_fd(ssl_, fd_) != 1) {
        error = "cannot create TLS session: " + TakeTlsErrors();
        return false;
    }
    if (SSL_accept(ssl_) != 1) {
        error = "TLS handshake failed: " + TakeTlsErrors();
        return false;
    }
    return true;
}

bool PeerStream::readExact(char* buf, size_t size)
{
    size_t done = 0;
    while (done < size) {
        if (ssl_) {
            size_t got = 0;
            if (SSL_read_ex(ssl_, buf + done, size - done, &got) != 1)
                return false;
            done += got;
            continue;
        }
        ssize_t got = ::recv(fd_, buf + done, size - done, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

bool PeerStream::writeAll(const char* buf, size_t size)
{
    size_t done = 0;
    while (done < size) {
        if (ssl_) {
            size_t sent = 0;
            if (SSL_write_ex(ssl_, buf + done, size - done, &sent) != 1)
                return false;
            done += sent;
            continue;
        }
        ssize_t sent = ::send(fd_, buf + done, size - done, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        done += static_cast<size_t>(sent);
    }
    return true;
}

bool PeerStream::hasBufferedInput() const
{
    return ssl_ && SSL_pending(ssl_) > 0;
}

void PeerStream::close()
{
    if (ssl_)
        SSL_shutdown(ssl_);
    ::shutdown(fd_, SHUT_RDWR);
}
