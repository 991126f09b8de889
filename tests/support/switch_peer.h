#pragma once
// A claims switch for tests: a thread that accepts upstream connections on a
// loopback port (plain TCP or TLS), reads upstream frames and lets the test
// decide what to answer. Connections are served one at a time.

#include "relay/frames.h"
#include "base/twofish.h"

#include <arpa/inet.h>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct UpstreamRequest {
    std::string sequence;  // 12 bytes
    std::string data;      // decrypted when the peer uses Twofish
};

struct SwitchPeerOptions {
    bool twofish = false;
    // TLS when certFile is set: the server's certificate and key, and the CA
    // that client certificates must chain to.
    std::string certFile;
    std::string keyFile;
    std::string caFile;
    bool onlyTls10 = false;
    // Small receive buffers and segments on every accepted connection, so
    // that a switch that stops reading fills up after a few claims: the
    // sender's buffer grows with the segment size its peer announces.
    bool narrow = false;
};

class SwitchPeer;

// The connection being served; the handler answers through it.
class SwitchConnection {
public:
    void Reply(const std::string& sequence12, std::string data)
    {
        EncryptBuffer(writeCipher.get(), data.data(), static_cast<int>(data.size()));
        SendRaw(BuildLengthHeader16(sequence12, static_cast<int>(data.size())) + data);
    }

    void SendRaw(const std::string& bytes)
    {
        if (ssl) {
            SSL_write(ssl, bytes.data(), static_cast<int>(bytes.size()));
            return;
        }
        size_t sent = 0;
        while (sent < bytes.size()) {
            ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += static_cast<size_t>(n);
        }
    }

    void Close() { closeRequested = true; }

    // Ends the connection with a reset instead of an orderly close.
    void Reset()
    {
        linger abort{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        closeRequested = true;
    }

    int fd = -1;
    SSL* ssl = nullptr;
    std::unique_ptr<TwofishContext> readCipher;
    std::unique_ptr<TwofishContext> writeCipher;
    bool closeRequested = false;
};

class SwitchPeer {
public:
    // Called on the peer's thread for every request read.
    using Handler = std::function<void(SwitchConnection&, const UpstreamRequest&)>;

    explicit SwitchPeer(Handler handler, SwitchPeerOptions options = {})
        : handler_(std::move(handler)), options_(std::move(options))
    {
        listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        // Set before listen(): accepted connections inherit them, and the
        // handshake announces them.
        if (options_.narrow) {
            int buffer = 4096;
            int segment = 536;
            setsockopt(listenFd_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
            setsockopt(listenFd_, IPPROTO_TCP, TCP_MAXSEG, &segment, sizeof segment);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listenFd_, 16);
        socklen_t size = sizeof address;
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        wakeFd_ = eventfd(0, EFD_CLOEXEC);
        if (!options_.certFile.empty())
            SetUpTls();
        thread_ = std::thread([this] { Run(); });
    }

    ~SwitchPeer()
    {
        uint64_t one = 1;
        (void)!write(wakeFd_, &one, sizeof one);
        thread_.join();
        close(listenFd_);
        close(wakeFd_);
        if (tlsContext_)
            SSL_CTX_free(tlsContext_);
    }

    int port() const { return port_; }

    // An answer to every request: the same sequence and data.
    static Handler Echo(const std::string& prefix = "RSP:")
    {
        return [prefix](SwitchConnection& c, const UpstreamRequest& r) { c.Reply(r.sequence, prefix + r.data); };
    }

    // Waits (generously) until count requests were read; false on time-out.
    bool WaitForRequests(size_t count, int seconds = 20)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(seconds), [&] { return requests_.size() >= count; });
    }

    bool WaitForConnections(int count, int seconds = 20)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(seconds), [&] { return connections_ >= count; });
    }

    bool WaitForDisconnects(int count, int seconds = 20)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(seconds), [&] { return disconnects_ >= count; });
    }

    std::vector<UpstreamRequest> requests()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

    int connections()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return connections_;
    }

private:
    void SetUpTls()
    {
        tlsContext_ = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate_file(tlsContext_, options_.certFile.c_str(), SSL_FILETYPE_PEM);
        SSL_CTX_use_PrivateKey_file(tlsContext_, options_.keyFile.c_str(), SSL_FILETYPE_PEM);
        SSL_CTX_load_verify_locations(tlsContext_, options_.caFile.c_str(), nullptr);
        SSL_CTX_set_verify(tlsContext_, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
        if (options_.onlyTls10) {
            SSL_CTX_set_security_level(tlsContext_, 0);
            SSL_CTX_set_min_proto_version(tlsContext_, TLS1_VERSION);
            SSL_CTX_set_max_proto_version(tlsContext_, TLS1_VERSION);
        }
    }

    // Waits until fd is readable; false when the peer is being destroyed.
    bool AwaitReadable(int fd)
    {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        while (poll(fds, 2, -1) < 0) {
        }
        return !(fds[1].revents & POLLIN);
    }

    // Reads exactly size bytes; false on close, failure or shutdown.
    bool ReadExactly(SwitchConnection& c, char* into, size_t size)
    {
        size_t got = 0;
        while (got < size) {
            if (!(c.ssl && SSL_pending(c.ssl) > 0) && !AwaitReadable(c.fd))
                return false;
            int n = c.ssl ? SSL_read(c.ssl, into + got, static_cast<int>(size - got))
                          : static_cast<int>(recv(c.fd, into + got, size - got, 0));
            if (n <= 0)
                return false;
            got += static_cast<size_t>(n);
        }
        return true;
    }

    void Serve(int fd)
    {
        SwitchConnection c;
        c.fd = fd;
        c.readCipher = CreateTwofishContext(options_.twofish ? TwofishBlocks : TwofishNone);
        c.writeCipher = CreateTwofishContext(options_.twofish ? TwofishBlocks : TwofishNone);
        if (tlsContext_) {
            c.ssl = SSL_new(tlsContext_);
            SSL_set_fd(c.ssl, fd);
            if (SSL_accept(c.ssl) != 1) {
                ERR_clear_error();
                SSL_free(c.ssl);
                return;
            }
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++connections_;
        }
        changed_.notify_all();
        char header[16];
        while (!c.closeRequested && ReadExactly(c, header, sizeof header)) {
            long long length = DeclaredDataLength16(header);
            if (length < 0 || length > kMaxFrameData)
                break;
            UpstreamRequest request;
            request.sequence.assign(header + 4, 12);
            request.data.resize(static_cast<size_t>(length));
            if (!ReadExactly(c, request.data.data(), request.data.size()))
                break;
            DecryptBuffer(c.readCipher.get(), request.data.data(), static_cast<int>(length));
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(request);
            }
            changed_.notify_all();
            handler_(c, request);
        }
        if (c.ssl) {
            SSL_shutdown(c.ssl);
            SSL_free(c.ssl);
        }
    }

    void Run()
    {
        while (AwaitReadable(listenFd_)) {
            int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            Serve(fd);
            close(fd);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++disconnects_;
            }
            changed_.notify_all();
        }
    }

    Handler handler_;
    SwitchPeerOptions options_;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    int port_ = 0;
    SSL_CTX* tlsContext_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<UpstreamRequest> requests_;
    int connections_ = 0;
    int disconnects_ = 0;
};
