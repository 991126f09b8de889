#pragma once
// A relay on loopback for tests: settings in a private home, the relay
// thread with notifications a test can wait for, a pharmacy client that
// speaks either inbound framing, and the network log.

#include "config/settings.h"
#include "relay/frames.h"
#include "relay/mx_thread.h"
#include "relay/socket_util.h"
#include "test_env.h"
#include "base/twofish.h"

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

// Looks until done() holds, resting between looks; false after the limit.
inline bool PollUntil(const std::function<bool()>& done, int seconds = 20)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

inline size_t CountOf(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// A claim that the reject builder can answer: version 5 header fields.
inline std::string SampleClaim(const std::string& tag = "")
{
    return "610066D0B1" "1234567890" "1011" "234567890" "       " "20260101" "SOFTWARE01" + tag;
}

// Pharmacy side of an inbound connection.
class InboundClient {
public:
    InboundClient(int port, InboundFraming framing, bool twofish) : framing_(framing)
    {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        encoder_ = CreateTwofishContext(twofish ? TwofishBlocks : TwofishNone);
        decoder_ = CreateTwofishContext(twofish ? TwofishBlocks : TwofishNone);
    }
    ~InboundClient() { close(fd_); }

    bool connected() const { return connected_; }

    // The whole frame of one claim in this client's framing.
    std::string Frame(const std::string& clientSequence, std::string claim)
    {
        EncryptBuffer(encoder_.get(), claim.data(), static_cast<int>(claim.size()));
        if (framing_ == InboundFraming::TuqHeader)
            return BuildLengthHeader16(clientSequence, static_cast<int>(claim.size())) + claim;
        std::string header = BuildClaimHeader(0, static_cast<int>(claim.size()));
        header.replace(10, 8, clientSequence.substr(0, 8));
        return header + claim;
    }

    void SendRaw(const std::string& bytes) { send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    void SendClaim(const std::string& clientSequence, const std::string& claim)
    {
        SendRaw(Frame(clientSequence, claim));
    }

    struct Reply {
        std::string header;
        std::string data;  // decrypted
    };

    // The next reply; nothing when the relay closed the connection or
    // nothing came within the (generous) limit.
    std::optional<Reply> ReadReply(int seconds = 20)
    {
        Reply reply;
        int headerSize = HeaderSize(framing_);
        if (!ReadExactly(reply.header, static_cast<size_t>(headerSize), seconds))
            return std::nullopt;
        long long length = DeclaredDataLength(framing_, reply.header.data());
        if (length < 0 || length > kMaxFrameData || !ReadExactly(reply.data, static_cast<size_t>(length), seconds))
            return std::nullopt;
        DecryptBuffer(decoder_.get(), reply.data.data(), static_cast<int>(reply.data.size()));
        return reply;
    }

    // True when the relay closes the connection within the limit.
    bool WaitClosed(int seconds = 20)
    {
        char byte;
        while (Readable(seconds)) {
            ssize_t n = recv(fd_, &byte, 1, 0);
            if (n <= 0)
                return true;
        }
        return false;
    }

private:
    bool Readable(int seconds)
    {
        pollfd p{fd_, POLLIN, 0};
        return poll(&p, 1, seconds * 1000) > 0;
    }

    bool ReadExactly(std::string& into, size_t size, int seconds)
    {
        into.resize(size);
        size_t got = 0;
        while (got < size) {
            if (!Readable(seconds))
                return false;
            ssize_t n = recv(fd_, into.data() + got, size - got, 0);
            if (n <= 0)
                return false;
            got += static_cast<size_t>(n);
        }
        return true;
    }

    int fd_ = -1;
    bool connected_ = false;
    InboundFraming framing_;
    std::unique_ptr<TwofishContext> encoder_;
    std::unique_ptr<TwofishContext> decoder_;
};

// Settings for a relay on 127.0.0.1 and its network log, in a private home.
class RelayTestBase {
public:
    RelayTestBase()
    {
        SetDataSourceSocketPort();
        SetInboundHostName("127.0.0.1");
        inboundPort = FindFreeListenPort("127.0.0.1", 10000 + static_cast<int>(getpid() % 20000), nullptr);
        // Below the ephemeral range, so that no outgoing connection takes it.
        SetInboundPort(inboundPort);
        SetInboundSocketFormat(2);
        SetSystemID("TESTSYS1");
        SetEnableNetworkDebugMessages(true);
        SetNetworkDebugFileName(home.path() + "/net.log");
        SetOutboundConnectTimeout(5);
        SetPersistentOutboundConnection(true);
    }

    // Host n (1..3) enabled with its two ports.
    static void UseHost(int n, const std::string& host, int portA, int portB)
    {
        switch (n) {
        case 1: SetEnableNetwork1(true); SetOutboundHostName1(host); SetOutboundPort1A(portA); SetOutboundPort1B(portB); break;
        case 2: SetEnableNetwork2(true); SetOutboundHostName2(host); SetOutboundPort2A(portA); SetOutboundPort2B(portB); break;
        default: SetEnableNetwork3(true); SetOutboundHostName3(host); SetOutboundPort3A(portA); SetOutboundPort3B(portB); break;
        }
    }

    std::string NetLog() const { return ReadWholeFile(home.path() + "/net.log"); }
    bool LogHas(const std::string& line) const { return NetLog().find(line) != std::string::npos; }

    // Waits until the network log shows text (count times); the relay writes
    // it on its own thread.
    bool AwaitLog(const std::string& text, int seconds = 20, size_t count = 1) const
    {
        return PollUntil([&] { return CountOf(NetLog(), text) >= count; }, seconds);
    }

    // A port on which nothing listens.
    static int ClosedPort()
    {
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t size = sizeof address;
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        close(fd);
        return ntohs(address.sin_port);
    }

    TestHome home;
    int inboundPort = 0;
};

// The relay thread with its notifications.
class RelayRun {
public:
    explicit RelayRun(RelayCallbacks callbacks = {})
    {
        callbacks.OnReady = [this] { Signal(ready_); };
        callbacks.OnTerminate = [this] { Signal(ended_); };
        thread_ = std::make_unique<TMxSockThread>(std::move(callbacks));
        thread_->Resume();
    }
    ~RelayRun() { thread_.reset(); }

    // True when the relay serves claims; false when its thread ended first.
    bool WaitReady(int seconds = 30)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(seconds), [&] { return ready_ || ended_; });
        return ready_ && !ended_;
    }

    bool WaitEnded(int seconds = 30)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(seconds), [&] { return ended_; });
    }

    void Stop() { thread_->Terminate(); }

private:
    void Signal(bool& flag)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            flag = true;
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool ready_ = false;
    bool ended_ = false;
    std::unique_ptr<TMxSockThread> thread_;
};
