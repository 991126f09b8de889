#include "peer_stream.h"

#include "tls_server_context.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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
        if (inboxStart_ == inboxEnd_ && !fillInbox())
            return false;
        size_t part = std::min(size - done, inboxEnd_ - inboxStart_);
        std::memcpy(buf + done, inbox_.data() + inboxStart_, part);
        inboxStart_ += part;
        done += part;
    }
    return true;
}

bool PeerStream::fillInbox()
{
    inboxStart_ = 0;
    inboxEnd_ = 0;
    if (ssl_) {
        size_t got = 0;
        if (SSL_read_ex(ssl_, inbox_.data(), inbox_.size(), &got) != 1)
            return false;
        inboxEnd_ = got;
        return true;
    }
    for (;;) {
        ssize_t got = ::recv(fd_, inbox_.data(), inbox_.size(), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        inboxEnd_ = static_cast<size_t>(got);
        return true;
    }
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
    return inboxStart_ < inboxEnd_ || (ssl_ && SSL_pending(ssl_) > 0);
}

std::string_view PeerStream::buffered() const
{
    return std::string_view(inbox_.data() + inboxStart_, inboxEnd_ - inboxStart_);
}

void PeerStream::close()
{
    if (ssl_)
        SSL_shutdown(ssl_);
    ::shutdown(fd_, SHUT_RDWR);
}
