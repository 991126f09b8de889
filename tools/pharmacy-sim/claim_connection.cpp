#include "claim_connection.h"

#include "base/format_text.h"
#include "reply_check.h"
#include "sample_claim.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

bool AllDigits(const char* field, int count)
{
    return std::all_of(field, field + count, [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

}  // namespace

ClaimConnection::ClaimConnection(const SocketLoadOptions& options, int number)
    : options_(options), number_(number)
{
    if (options.twofish) {
        writeCipher_ = CreateTwofishContext(TwofishBlocks);
        readCipher_ = CreateTwofishContext(TwofishBlocks);
    }
}

ClaimConnection::~ClaimConnection()
{
    if (fd_ >= 0)
        ::close(fd_);
}

ConnectionResult ClaimConnection::run()
{
    ConnectionResult result;
    const int claims = options_.claimsPerConnection;
    if (!connect(result.error)) {
        result.failed = claims;
        return result;
    }
    std::deque<SentClaim> inFlight;
    int next = 1;
    auto fail = [&](int claim) {
        result.error = FormatText("claim %d: ", claim) + result.error;
        result.failed = claims - result.succeeded;
        return result;
    };
    while (result.succeeded < claims) {
        while (next <= claims && static_cast<int>(inFlight.size()) < options_.outstanding) {
            SentClaim sent;
            if (!sendClaim(next, sent, result.error))
                return fail(next);
            inFlight.push_back(std::move(sent));
            ++next;
        }
        SentClaim answered;
        if (!readReply(inFlight, answered, result.error))
            return fail(inFlight.front().number);
        std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - answered.sentAt;
        result.latenciesMs.push_back(elapsed.count());
        ++result.succeeded;
    }
    return result;
}

bool ClaimConnection::connect(std::string& error)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::string port = std::to_string(options_.port);
    if (int rc = ::getaddrinfo(options_.host.c_str(), port.c_str(), &hints, &found); rc != 0) {
        error = "cannot resolve " + options_.host + ": " + gai_strerror(rc);
        return false;
    }
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool connected = fd_ >= 0 && ::connect(fd_, found->ai_addr, found->ai_addrlen) == 0;
    ::freeaddrinfo(found);
    if (!connected) {
        error = "cannot connect to " + options_.host + ":" + port + ": " + std::strerror(errno);
        return false;
    }
    timeval timeout{options_.replyTimeoutSeconds, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
}

std::string ClaimConnection::claimHeader(int claimNumber, int dataLength) const
{
    if (options_.framing == InboundFraming::MxSock)
        return BuildClaimHeader((number_ * 100000L + claimNumber) % 100000000L, dataLength);
    return BuildLengthHeader16(FormatText("%04d%08d", number_ % 10000, claimNumber), dataLength);
}

bool ClaimConnection::sendClaim(int claimNumber, SentClaim& sent, std::string& error)
{
    sent.number = claimNumber;
    sent.rxNumber = static_cast<unsigned>(number_ * 10000 + claimNumber);
    std::string data = BuildSampleClaim(sent.rxNumber);
    int length = static_cast<int>(data.size());
    sent.header = claimHeader(claimNumber, length);
    EncryptBuffer(writeCipher_.get(), data.data(), length);
    std::string frame = sent.header + data;
    sent.sentAt = std::chrono::steady_clock::now();
    if (::send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size())) {
        error = std::string("cannot send: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool ClaimConnection::readReply(std::deque<SentClaim>& inFlight, SentClaim& answered, std::string& error)
{
    std::string header(static_cast<size_t>(HeaderSize(options_.framing)), '\0');
    if (!readExact(header.data(), header.size(), error))
        return false;
    // MxSock replies repeat the claim's first 10 bytes too; both framings
    // repeat the sequence field.
    const size_t sequenceAt = static_cast<size_t>(ClientSequenceOffset(options_.framing));
    const size_t sequenceSize = static_cast<size_t>(ClientSequenceSize(options_.framing));
    const size_t echoStart = options_.framing == InboundFraming::MxSock ? 0 : sequenceAt;
    const size_t echoSize = sequenceAt + sequenceSize - echoStart;
    auto claim = std::find_if(inFlight.begin(), inFlight.end(), [&](const SentClaim& sent) {
        return header.compare(sequenceAt, sequenceSize, sent.header, sequenceAt, sequenceSize) == 0;
    });
    if (claim == inFlight.end() || header.compare(echoStart, echoSize, claim->header, echoStart, echoSize) != 0) {
        error = "reply header does not repeat the claim's header and sequence field";
        return false;
    }
    if (options_.framing == InboundFraming::MxSock && !AllDigits(header.data() + 18, 6)) {
        error = "reply length field is not six digits";
        return false;
    }
    long long length = DeclaredDataLength(options_.framing, header.data());
    if (length < 0 || length > kMaxFrameData) {
        error = FormatText("reply declares %lld data bytes", length);
        return false;
    }
    std::string reply(static_cast<size_t>(length), '\0');
    if (!readExact(reply.data(), reply.size(), error))
        return false;
    DecryptBuffer(readCipher_.get(), reply.data(), static_cast<int>(length));
    error = CheckReplyData(reply, claim->rxNumber, options_.expectPaid);
    if (!error.empty())
        return false;
    answered = std::move(*claim);
    inFlight.erase(claim);
    return true;
}

bool ClaimConnection::readExact(char* buf, size_t size, std::string& error)
{
    size_t done = 0;
    while (done < size) {
        ssize_t got = ::recv(fd_, buf + done, size - done, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got > 0) {
            done += static_cast<size_t>(got);
            continue;
        }
        if (got == 0)
            error = "connection closed before the reply was complete";
        else if (errno == EAGAIN || errno == EWOULDBLOCK)
            error = FormatText("no reply within %d s", options_.replyTimeoutSeconds);
        else
            error = std::string("receive failed: ") + std::strerror(errno);
        return false;
    }
    return true;
}
