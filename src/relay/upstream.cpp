#include "relay/upstream.h"

#include "relay/inbound.h"
#include "relay/mx_thread.h"
#include "base/net_log.h"
#include "relay/upstream_tls.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Log lines that differ between the three hosts.
struct HostLines {
    const char* disregard;
    const char* ignorePortA;
    const char* unreachable;
    const char* failedPortA;
    const char* ignorePortB;
    const char* failedPortB;
};

const HostLines hostLines[3] = {
    {"mxClientConnect() Disregard Host1", "mxClientConnect() Ignore Port1A(%s)",
     "mxClientConnect() Failed Host1(%s), It is unreachable", "mxClientConnect() Failed PortA(%d) on Host1(%s)",
     "mxClientConnect() Ignore Port1B(%s)", "mxClientConnect() Failed PortB(%d) on Host1(%s)"},
    {"mxClientConnect() Disregard Host2", "mxClientConnect() Ignore Port2A(%s)",
     " mxClientConnect() Failed Host2(%s), It is unreachable", "mxClientConnect() Failed PortA(%d) on Host2(%s)",
     "mxClientConnect() Ignore Port2B(%s)", "mxClientConnect() Failed Port2B(%d) on Host2(%s)"},
    {"mxClientConnect() Disregard Host3", "mxClientConnect() Ignore Port3A(%s)", nullptr,
     "mxClientConnect() Failed PortA(%d) on Host3(%s)", "mxClientConnect() Ignore Port3B(%s)",
     "mxClientConnect() Failed PortB(%d) on Host3(%s)"},
};

void LogHostLine(const char* format, const std::string& host)
{
    mxLog(format, host.c_str());
}

void LogPortLine(const char* format, int port, const std::string& host)
{
    mxLog(format, port, host.c_str());
}

bool RunDialUpStep()
{
    TMxSockThread* thread = CurrentMxSockThread();
    if (!thread || !thread->Callbacks().OnEstablishDialUpConnection)
        return true;
    try {
        thread->Callbacks().OnEstablishDialUpConnection();
        return true;
    } catch (const std::exception& e) {
        mxLog("EstablishDialUpConnection failed with Exception '%s'", e.what());
    } catch (...) {
        mxLog("EstablishDialUpConnection failed with Exception '%s'", "unknown exception");
    }
    return false;
}

// Tries the ports of host index (0..2): true when connected.
bool ConnectToHost(MX* mx, int index)
{
    const MXCFG& cfg = *mx->mxcfg;
    const HostLines& lines = hostLines[index];
    if (!cfg.host[index]) {
        mxLog("%s", lines.disregard);
        return false;
    }
    const std::string& host = *cfg.host[index];

    bool unreachable = false;
    if (cfg.portA[index] < 1) {
        LogHostLine(lines.ignorePortA, host);
    } else {
        int rc = mxTryConnect(mx, host.c_str(), cfg.portA[index]);
        if (rc == 1)
            return true;
        unreachable = rc == -1;
        if (unreachable && lines.unreachable)
            LogHostLine(lines.unreachable, host);
        else
            LogPortLine(lines.failedPortA, cfg.portA[index], host);
    }

    if (unreachable || cfg.portB[index] < 1) {
        LogHostLine(lines.ignorePortB, host);
        return false;
    }
    if (mxTryConnect(mx, host.c_str(), cfg.portB[index]) == 1)
        return true;
    LogPortLine(lines.failedPortB, cfg.portB[index], host);
    return false;
}

void CloseSocketOnly(MX* mx)
{
    MxUpstream& up = mx->upstream;
    if (up.socket != -1) {
        close(up.socket);
        up.socket = -1;
    }
}

bool DeadlineReached(time_t deadline)
{
    return deadline != 0 && time(nullptr) >= deadline;
}

// Waits for a non-blocking connect to finish. 1 connected, 0 timeout, -2 error.
int AwaitConnect(MX* mx, time_t deadline)
{
    MxUpstream& up = mx->upstream;
    int seconds = 0;
    if (deadline != 0) {
        seconds = static_cast<int>(deadline - time(nullptr));
        if (seconds <= 0) {
            CloseSocketOnly(mx);
            mxLog("mxTryConnect() Timeout Error from select()");
            mx->error = kMxTimeout;
            return 0;
        }
    }
    SocketSet writeSet;
    writeSet.Add(up.socket);
    int rc = WinSelect(nullptr, &writeSet, nullptr, seconds);
    if (rc == 1) {
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(up.socket, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error == 0)
            return 1;
        mxLog("mxTryConnect() Error(%d) on connect()", error);
        mxErrorMessage(error, mxLog);
        mx->error = kMxConnectFailed;
        CloseSocketOnly(mx);
        mxLog("mxTryConnect() Closed bad connection and returning");
        return -2;
    }
    CloseSocketOnly(mx);
    if (rc == -1) {
        mxLog("mxTryConnect() Socket Error(%d) from select()", errno);
        mx->error = kMxUpstreamSocketFailed;
        return -2;
    }
    if (rc == 0) {
        mxLog("mxTryConnect() Timeout Error from select()");
        mx->error = kMxTimeout;
        return 0;
    }
    mxLog("mxTryConnect() Unexpected Error(%d) from select()", rc);
    mx->error = kMxConnectFailed;
    return -2;
}

} // namespace

void mxClientInit(MX* mx)
{
    MxUpstream& up = mx->upstream;
    up.socket = -1;
    up.reason = MxReason::None;
    up.readState = UpstreamReadState::Idle;
    up.done = 0;
    up.remaining = 0;
    up.dataLength = 0;
    up.inboxStart = 0;
    up.inboxEnd = 0;
    up.outbox.clear();
    up.outboxClaims.clear();
    up.address = {};
    up.ssl = nullptr;
    up.sslContext = nullptr;
    up.readCipher.reset();
    up.writeCipher.reset();
    std::memset(up.frame, 0, 4);
    std::memset(up.frame + 4, ' ', sizeof up.frame - 4);
}

int mxClientConnect(MX* mx)
{
    if (mx->upstream.open()) {
        mxLog("   mxClientConnect() Client Already Connected");
        mx->error = kMxUpstreamState;
        return 1;
    }
    if (!RunDialUpStep())
        return -1;
    for (int index = 0; index < 3; ++index) {
        if (ConnectToHost(mx, index))
            return 0;
    }
    mxLog("mxClientConnect() Failed Completely");
    return -1;
}

namespace {

// mxTryConnect's steps return 1 to go on, else mxTryConnect's own result.
constexpr int kGoOn = 1;

bool TargetUsable(const char* host, int port)
{
    if (!host || !*host) {
        mxLog("mxTryConnect() Error Port(%d), Host not specified", port);
        return false;
    }
    if (std::strlen(host) > kMaxHostNameLength) {
        mxLog("mxTryConnect() Error: Host name of %zu characters refused; at most %d are allowed.",
              std::strlen(host), kMaxHostNameLength);
        return false;
    }
    if (port < 0 || port > 65535) {
        mxLog("mxTryConnect() Error Port(%d) Host(%s)", port, host);
        return false;
    }
    return true;
}

// The end of the time the attempt may take, 0 for none.
time_t ConnectDeadline(MXCFG& cfg)
{
    if (cfg.connectWait < 0) {
        mxLog("mxTryConnect() mx->mxcfg->connectWait(%d)", cfg.connectWait);
        cfg.connectWait = 0;
    }
    return cfg.connectWait >= 1 ? time(nullptr) + cfg.connectWait : 0;
}

// Always non-blocking, so that even a connect without a time limit ends on
// a stop request. The deadline is looked at after the name and after the
// socket, each with its own line.
int OpenUpstreamSocket(MX* mx, const char* host, int port, time_t deadline)
{
    MxUpstream& up = mx->upstream;
    sockaddr_in address{};
    TcpOpenResult opened = OpenTcpSocket(host, port, true, &address, &up.socket);
    if (opened.step == TcpOpenStep::Unresolved) {
        mxLog("mxTryConnect() gethostbyname(%s,%d)", host, opened.error);
        LogResolveError(opened.error, mxLog);
        return -1;
    }
    if (DeadlineReached(deadline)) {
        mxLog("mxTryConnect() Timeout after gethostbyname/addr(%s)", host);
        CloseSocketOnly(mx);
        return 0;
    }
    if (opened.step == TcpOpenStep::SocketFailed) {
        mxLog("mxTryConnect() client socket() Failed(%d)", opened.error);
        mxErrorMessage(opened.error, mxLog);
        mx->error = kMxUpstreamSocketFailed;
        return -2;
    }
    if (DeadlineReached(deadline)) {
        mxLog("mxTryConnect() Timeout after socket(%s)", host);
        CloseSocketOnly(mx);
        return 0;
    }
    if (opened.step == TcpOpenStep::NonBlockingFailed) {
        mxLog("mxTryConnect() Error(%d) setting socket(%d) to non-blocking mode.", opened.error, up.socket);
        mxErrorMessage(opened.error, mxLog);
        CloseSocketOnly(mx);
        return 0;
    }
    up.address = address;
    return kGoOn;
}

int ConnectUpstreamSocket(MX* mx, time_t deadline)
{
    MxUpstream& up = mx->upstream;
    if (connect(up.socket, reinterpret_cast<sockaddr*>(&up.address), sizeof up.address) == 0)
        return kGoOn;
    int error = errno;
    if (error == EINPROGRESS || error == EWOULDBLOCK)
        return AwaitConnect(mx, deadline);
    mxLog("mxTryConnect() Error(%d) on connect()", error);
    mxErrorMessage(error, mxLog);
    mx->error = kMxConnectFailed;
    CloseSocketOnly(mx);
    mxLog("mxTryConnect() Closed bad connection and returning");
    return -2;
}

int StartTls(MX* mx, const char* host, time_t deadline)
{
    if (!mx->mxcfg->certFile)
        return kGoOn;
    int rc = mxSslConnect(mx, host, deadline);
    if (rc == 1)
        return kGoOn;
    mxClientClose(mx);
    return rc == -3 ? -3 : 0;
}

// A new connection starts with no response under way and fresh ciphers.
void ResetUpstreamState(MX* mx)
{
    MxUpstream& up = mx->upstream;
    up.reason = MxReason::None;
    up.readState = UpstreamReadState::Idle;
    up.done = 0;
    up.remaining = 0;
    up.dataLength = 0;
    up.readCipher = NewCipher(mx->mxcfg->outboundCipher);
    up.writeCipher = NewCipher(mx->mxcfg->outboundCipher);
}

void UseConnection(MX* mx)
{
    MxUpstream& up = mx->upstream;
    // Claims of other clients must not wait behind one the switch has not
    // acknowledged yet: with a switch answering in 20 ms, Nagle's algorithm
    // made every claim written meanwhile take 40.
    SetNoDelay(up.socket);
    if (!mx->masterSet.Full())
        mx->masterSet.Add(up.socket);
    ResetUpstreamState(mx);
}

} // namespace

int mxTryConnect(MX* mx, const char* host, int port)
{
    if (!TargetUsable(host, port))
        return -1;
    // A stop request ends a series of attempts instead of waiting out each one.
    if (mxSockShouldTerminate())
        return -3;
    time_t deadline = ConnectDeadline(*mx->mxcfg);
    int rc = OpenUpstreamSocket(mx, host, port, deadline);
    if (rc == kGoOn)
        rc = ConnectUpstreamSocket(mx, deadline);
    if (rc == kGoOn)
        rc = StartTls(mx, host, deadline);
    if (rc != kGoOn)
        return rc;
    UseConnection(mx);
    mxLog("mxTryConnect() Success for(%d)(%s), socket(%d)", port, host, mx->upstream.socket);
    return 1;
}

int mxClientWrite(MX* mx, MXSOCK* mxSock)
{
    MxUpstream& up = mx->upstream;
    if (!up.open()) {
        mxLog("mxClientWrite(): Client Not Connected");
        mx->error = kMxUpstreamState;
        return -1;
    }
    if (!mxSock) {
        mxLog("mxClientWrite(): MXSOCK Pointer is NULL");
        mx->error = kMxMissingRecord;
        return -1;
    }
    MXTX* tx = FirstCompleteTransaction(mxSock);
    if (!tx) {
        mxLog("mxClientWrite(): MXTX Pointer is NULL");
        mx->error = kMxNothingToForward;
        return -1;
    }

    std::string sequence = UpstreamSequenceField(tx->framing, tx->seqNo);
    char* data = up.sendFrame + kUpstreamHeaderSize;
    WriteLengthHeader16(up.sendFrame, sequence.c_str(), tx->dataLength);
    std::memcpy(data, tx->data(), static_cast<size_t>(tx->dataLength));
    EncryptBuffer(up.writeCipher.get(), data, tx->dataLength);

    mxLog("mxClientWrite() Length(%d) Seqno(%.9s,%.3s)", tx->dataLength, sequence.c_str(),
          sequence.c_str() + 9);
    mxLog("mxClientWrite() Data(%.*s)", tx->dataLength, data);

    if (up.ssl) {
        if (mxSSL_write(mx, tx) < 0)
            return -1;
    } else {
        up.outbox.append(up.sendFrame, static_cast<size_t>(kUpstreamHeaderSize + tx->dataLength));
        up.outboxClaims.push_back(tx->seqNo);
    }
    tx->state = TxState::Forwarded;
    mxSock->reading = false;
    return 0;
}

int mxClientFlush(MX* mx, std::vector<long>& claims)
{
    MxUpstream& up = mx->upstream;
    claims.swap(up.outboxClaims);
    up.outboxClaims.clear();
    if (up.outbox.empty())
        return 0;
    int total = static_cast<int>(up.outbox.size());
    int error = 0;
    int sent = mxSend(up.socket, up.outbox.data(), total, &error);
    up.outbox.clear();
    if (sent < total) {
        mxLog("mxClientWrite(): Error(%d) in send()", error);
        mxErrorMessage(error, mxLog);
        mx->error = kMxWriteFailed;
        return -1;
    }
    return 0;
}

size_t mxClientUnsentBytes(MX* mx)
{
    return mx->upstream.outbox.size();
}

namespace {

// Plain TCP: refills the empty inbox with one receive. 1 when bytes came,
// 0 when none are there yet, -1 on failure with the read state failed.
int FillInbox(MX* mx, const char* failedLine)
{
    MxUpstream& up = mx->upstream;
    int error = 0;
    int got = mxRecv(up.socket, up.inbox, sizeof up.inbox, &error, mxLog);
    if (got == 0) {
        up.readState = UpstreamReadState::Failed;
        up.reason = MxReason::PeerClosed;
        return -1;
    }
    if (got < 0) {
        if (error == EWOULDBLOCK || error == EAGAIN)
            return 0;
        up.readState = UpstreamReadState::Failed;
        up.reason = MxReason::RecvFailed;
        mxLog(failedLine, error);
        return -1;
    }
    up.inboxStart = 0;
    up.inboxEnd = got;
    return 1;
}

// Plain TCP: one step of the resumable read of a response part, from the
// inbox, receiving only when it is empty.
int ReceiveUpstreamPart(MX* mx, char* into, const char* failedLine)
{
    MxUpstream& up = mx->upstream;
    if (!up.inboxHoldsBytes()) {
        int rc = FillInbox(mx, failedLine);
        if (rc <= 0)
            return rc;
    }
    int got = std::min(up.remaining, up.inboxEnd - up.inboxStart);
    std::memcpy(into + up.done, up.inbox + up.inboxStart, static_cast<size_t>(got));
    up.inboxStart += got;
    if (got < up.remaining) {
        mxLog("    mxClientRead() got %d of %d bytes", got, up.remaining);
        up.done += got;
        up.remaining -= got;
        return 0;
    }
    up.done += got;
    up.remaining = 0;
    return 1;
}

int ReadPlainResponse(MX* mx)
{
    MxUpstream& up = mx->upstream;
    up.reason = MxReason::None;
    if (up.readState == UpstreamReadState::Idle) {
        up.readState = UpstreamReadState::Header;
        up.remaining = kUpstreamHeaderSize;
        up.done = 0;
    }
    if (up.readState == UpstreamReadState::Header) {
        int rc = ReceiveUpstreamPart(mx, up.frame, "mxClientRead() mxRecv() Failed(%d)");
        if (rc <= 0)
            return rc;
        long long length = DeclaredDataLength16(up.frame);
        if (length < 0 || length > kMaxFrameData) {
            up.readState = UpstreamReadState::Failed;
            up.reason = MxReason::BadLength;
            return -1;
        }
        // An empty response ends like a closed connection.
        if (length == 0) {
            up.readState = UpstreamReadState::Failed;
            up.reason = MxReason::PeerClosed;
            return -1;
        }
        up.dataLength = static_cast<int>(length);
        up.readState = UpstreamReadState::Data;
        up.remaining = up.dataLength;
        up.done = 0;
    }
    if (up.readState != UpstreamReadState::Data) {
        mxLog("mxClientRead() Invalid state(%d)", LoggedNumber(up.readState));
        up.reason = MxReason::InvalidState;
        return -1;
    }
    int rc = ReceiveUpstreamPart(mx, up.data(), "mxClientRead() mxRecv2() Failed(%d)");
    if (rc <= 0)
        return rc;
    DecryptBuffer(up.readCipher.get(), up.data(), up.dataLength);
    up.readState = UpstreamReadState::Idle;
    return up.dataLength;
}

int ReadTlsResponse(MX* mx)
{
    MxUpstream& up = mx->upstream;
    up.reason = MxReason::None;
    // Wait only once a response has begun; a readable socket alone may
    // carry nothing for us.
    int got = mxSslReadAvailable(mx, up.frame, kUpstreamHeaderSize);
    if (got == 0)
        return 0;
    if (got < 0 || (got < kUpstreamHeaderSize && mxSSL_read(mx, up.frame + got, kUpstreamHeaderSize - got) < 0)) {
        mxLog("mxClientRead() mxSSL_read(H) Failed(%d)", errno);
        return -1;
    }
    long long length = DeclaredDataLength16(up.frame);
    mxLog("mxClientRead() Length(%lld) Seqno(%.9s,%.3s)", length, up.sequence(), up.sequence() + 9);
    if (length < 0 || length > kMaxFrameData) {
        up.reason = MxReason::BadLength;
        return -1;
    }
    up.dataLength = static_cast<int>(length);
    if (up.dataLength > 0 && mxSSL_read(mx, up.data(), up.dataLength) < 0) {
        mxLog("mxClientRead() mxSSL_read(M) Failed(%d)\n", errno);
        return -1;
    }
    mxLog("mxClientRead() Data(%.30s)", up.data());
    DecryptBuffer(up.readCipher.get(), up.data(), up.dataLength);
    return up.dataLength;
}

} // namespace

int mxClientRead(MX* mx)
{
    return mx->upstream.ssl ? ReadTlsResponse(mx) : ReadPlainResponse(mx);
}

bool mxClientHoldsMore(MX* mx)
{
    const MxUpstream& up = mx->upstream;
    return up.open() && !up.ssl && up.inboxHoldsBytes();
}

void mxClientClose(MX* mx)
{
    MxUpstream& up = mx->upstream;
    if (up.ssl) {
        SSL_shutdown(up.ssl);
        SSL_free(up.ssl);
    }
    if (up.sslContext)
        SSL_CTX_free(up.sslContext);
    if (up.socket != -1) {
        mx->masterSet.Remove(up.socket);
        mx->readySet.Remove(up.socket);
        close(up.socket);
        mxLog("    mxClientClose() Socket(%d) Closed", up.socket);
    }
    mxClientInit(mx);
    mx->error = kMxOk;
}

namespace {

bool HandOverToModem(const std::string& request, std::string& response)
{
    TMxSockThread* thread = CurrentMxSockThread();
    if (!thread || !thread->Callbacks().OnSendViaTapi)
        return false;
    try {
        return thread->Callbacks().OnSendViaTapi(request, response);
    } catch (...) {
        return false;
    }
}

} // namespace

int TapiProcessTx(MX* mx, MXSOCK* mxSock)
{
    mx->error = kMxOk;
    if (!mxSock) {
        mxLog("TapiProcessTx(): MXSOCK Pointer is NULL");
        mx->error = kMxMissingRecord;
        return -1;
    }
    MXTX* tx = FirstCompleteTransaction(mxSock);
    if (!tx) {
        mxLog("TapiProcessTx(): MXTX Pointer is NULL");
        mx->error = kMxNothingToForward;
        return -1;
    }

    MxUpstream& up = mx->upstream;
    std::string sequence = UpstreamSequenceField(tx->framing, tx->seqNo);
    WriteLengthHeader16(up.frame, sequence.c_str(), tx->dataLength);
    std::memcpy(up.data(), tx->data(), static_cast<size_t>(tx->dataLength));
    mxLog("TapiProcessTx() Length(%d) Seqno(%.9s,%.3s)", tx->dataLength, sequence.c_str(), sequence.c_str() + 9);
    mxLog("TapiProcessTx() Data(%.30s)", up.data());

    up.dataLength = tx->dataLength;
    up.reason = MxReason::None;
    tx->state = TxState::Forwarded;
    mxSock->reading = false;

    std::string response;
    bool ok = HandOverToModem(std::string(up.data(), static_cast<size_t>(up.dataLength)), response) &&
              response.size() <= static_cast<size_t>(kMaxFrameData);
    if (ok) {
        std::memcpy(up.data(), response.data(), response.size());
        up.dataLength = static_cast<int>(response.size());
        up.done = 0;
        up.remaining = 0;
        up.readState = UpstreamReadState::Idle;
    } else {
        up.reason = MxReason::ModemHandOverFailed;
        mxLog("TapiProcessTx(): Error processing data.");
        mx->error = kMxWriteFailed;
        return -1;
    }
    return 0;
}
