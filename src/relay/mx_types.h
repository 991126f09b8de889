#pragma once
#include "relay/frames.h"
#include "relay/socket_util.h"
#include "base/twofish.h"

#include <ctime>
#include <list>
#include <memory>
#include <openssl/types.h>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The relay's records: configuration (MXCFG), context (MX), one MXSOCK per
// client connection and one MXTX per claim. All of them live on the relay
// thread only.

struct MX;
struct MXSOCK;

// Relay configuration, copied from the settings when the relay opens.
struct MXCFG {
    InboundFraming inboundFraming = InboundFraming::TuqHeader;
    bool inboundCipher = false;  // Twofish on client connections
    int inboundPort = 0;
    std::string inboundHost;
    bool outboundCipher = false;  // Twofish on the upstream connection

    // Switch hosts 1 to 3; an absent host has both ports -1.
    std::optional<std::string> host[3];
    int portA[3] = {-1, -1, -1};
    int portB[3] = {-1, -1, -1};

    // Present only when TLS is on; otherwise the upstream link is plain TCP.
    std::optional<std::string> caFile;
    std::optional<std::string> certFile;
    std::optional<std::string> keyPassword;

    int connectWait = 6;      // seconds
    int overallTimeout = 60;  // seconds
    int writeTimeout = 3;     // seconds
    int idleTimeout = 15;     // seconds
    bool onDemand = false;
    std::string systemId;
    bool tapiRoute = false;
};

// MX error codes.
enum MxError : int {
    kMxOk = 0,
    kMxAcceptFailed = 2,
    kMxNonBlockingFailed = 4,
    kMxNoMemory = 5,
    kMxMissingRecord = 6,
    kMxNoInboundReady = 8,
    kMxUpstreamState = 9,
    kMxWriteFailed = 10,
    kMxConnectFailed = 11,
    kMxTimeout = 12,
    kMxUpstreamSocketFailed = 13,
    kMxUnmatchedResponse = 15,
    kMxNothingToForward = 16,
};

// Failure reasons of a read or write (transactions and upstream); the log
// lines show their numbers.
enum class MxReason : int {
    None = 0,
    // The modem route could not carry the claim or brought no usable response.
    ModemHandOverFailed = -1,
    WriteFailed = 10,
    Timeout = 12,
    SslReadFailed = 13,
    PeerClosed = 24,
    RecvFailed = 25,
    InvalidState = 26,
    BadLength = 27,
};

// Where a claim stands; the log lines show the numbers.
enum class TxState : int {
    New = 0,
    ReadingHeader = 1,
    ReadingData = 2,
    Complete = 3,
    Forwarded = 4,
    ReadFailed = 5,
};

// The resumable read of a response over plain TCP; the log lines show the
// numbers.
enum class UpstreamReadState : int {
    Idle = 0,
    Header = 2,
    Data = 3,
    Failed = 4,
};

// The numbers that the log lines print.
constexpr int LoggedNumber(MxReason reason) { return static_cast<int>(reason); }
constexpr int LoggedNumber(TxState state) { return static_cast<int>(state); }
constexpr int LoggedNumber(UpstreamReadState state) { return static_cast<int>(state); }

struct TwofishDeleter {
    void operator()(TwofishContext* context) const { FreeTwofishContext(context); }
};
using CipherPtr = std::unique_ptr<TwofishContext, TwofishDeleter>;

// A fresh cipher context, or none when twofish is false.
CipherPtr NewCipher(bool twofish);

struct MXTX {
    MXSOCK* mxSock = nullptr;
    time_t deadline = 0;  // 0: none
    MxReason reason = MxReason::None;
    TxState state = TxState::New;
    int done = 0;
    int remaining = 0;
    int dataLength = 0;
    long seqNo = 0;
    std::string clientSequence = std::string(kTuqSequenceSize, ' ');
    InboundFraming framing = InboundFraming::TuqHeader;
    int headerSize = kTuqHeaderSize;
    char frame[kClaimHeaderSize + kMaxFrameData] = {};

    char* data() { return frame + headerSize; }
};

struct MXSOCK {
    MX* mx = nullptr;
    int socket = -1;
    bool reading = false;
    time_t idleDeadline = 0;  // 0: none
    CipherPtr readCipher;
    CipherPtr writeCipher;
    std::list<std::unique_ptr<MXTX>> transactions;
    // Bytes received after the claim they came with: the start of the
    // client's next claim, read before the socket again.
    std::string unread;
};

// The upstream connection to the switch.
struct MxUpstream {
    int socket = -1;
    sockaddr_in address{};
    MxReason reason = MxReason::None;
    UpstreamReadState readState = UpstreamReadState::Idle;  // plain TCP only
    int done = 0;
    int remaining = 0;
    int dataLength = 0;
    SSL_CTX* sslContext = nullptr;
    SSL* ssl = nullptr;
    CipherPtr readCipher;
    CipherPtr writeCipher;
    // Length field, 12-byte sequence field, data: the upstream frame of the
    // response being read (or of the modem route's exchange).
    char frame[kUpstreamHeaderSize + kMaxFrameData] = {};
    // The claim being written; apart from frame so that a response that
    // arrives in pieces survives a claim written in between.
    char sendFrame[kUpstreamHeaderSize + kMaxFrameData] = {};
    // Plain TCP: the frames of the claims written in this loop pass and
    // their sequence numbers, sent together by mxClientFlush: one segment
    // and one wake-up of the switch instead of one per claim.
    std::string outbox;
    std::vector<long> outboxClaims;
    // Plain TCP: bytes received from the switch and not yet taken into
    // frame. One receive takes in every response that has arrived, instead
    // of two receives for each.
    char inbox[64 * 1024] = {};
    int inboxStart = 0;
    int inboxEnd = 0;

    char* sequence() { return frame + 4; }
    char* data() { return frame + kUpstreamHeaderSize; }
    bool open() const { return socket != -1; }
    bool inboxHoldsBytes() const { return inboxStart < inboxEnd; }
};

struct MX {
    int error = kMxOk;
    int listenSocket = -1;
    SocketSet masterSet;
    SocketSet readySet;
    sockaddr_in listenAddress{};
    MxUpstream upstream;
    std::unique_ptr<MXCFG> mxcfg;
    std::list<std::unique_ptr<MXSOCK>> connections;
    // Indexes over the records above, so that finding the connection of a
    // ready socket or the claim of a response does not walk them all.
    std::unordered_map<int, MXSOCK*> connectionBySocket;
    std::unordered_map<long, MXTX*> transactionBySeqNo;
    // Connections whose unread bytes poll() cannot show.
    std::unordered_set<int> socketsWithUnread;
};
