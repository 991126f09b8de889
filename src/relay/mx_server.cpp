#include "relay/mx_server.h"

#include "relay/error_reply.h"
#include "relay/inbound.h"
#include "relay/mx_thread.h"
#include "base/net_log.h"
#include "relay/security_flag.h"
#include "relay/upstream.h"
#include "relay/upstream_tls.h"

#include "base/system_path.h"
#include "config/settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

// Every open relay context; mxShutdown empties it.
std::vector<MX*> openRelays;

// Room for a full client set plus the listening, upstream and log files.
constexpr int kWantedDescriptors = SocketSet::kCapacity + 64;

constexpr int kLoggedDataLimit = 110;

// Claims written in one pass go to the switch together, in batches of
// about this size: well within what a socket takes in one send.
constexpr size_t kFlushBytes = 16 * 1024;

int Capped(int length)
{
    return std::min(length, kLoggedDataLimit);
}

void ConfigureHost(MXCFG& cfg, int index, bool enabled, const std::string& host, int portA, int portB)
{
    if (!enabled)
        return;
    cfg.host[index] = host;
    cfg.portA[index] = portA;
    cfg.portB[index] = portB;
}

} // namespace

std::unique_ptr<MXCFG> mxConfig()
{
    auto cfg = std::make_unique<MXCFG>();
    int format = GetInboundSocketFormat();
    cfg->inboundFraming = format >= 2 ? InboundFraming::TuqHeader : InboundFraming::MxSock;
    cfg->inboundCipher = format == 1 || format == 3;
    cfg->inboundPort = GetInboundPort();
    cfg->inboundHost = GetInboundHostName();

    bool secure = !IsSecurityDisabled();
    cfg->outboundCipher = GetEnableOutboundTwofishSecurity() && secure;
    ConfigureHost(*cfg, 0, GetEnableNetwork1(), GetOutboundHostName1(), GetOutboundPort1A(), GetOutboundPort1B());
    ConfigureHost(*cfg, 1, GetEnableNetwork2(), GetOutboundHostName2(), GetOutboundPort2A(), GetOutboundPort2B());
    ConfigureHost(*cfg, 2, GetEnableNetwork3(), GetOutboundHostName3(), GetOutboundPort3A(), GetOutboundPort3B());
    if (GetEnableOutboundSSLCommunications() && secure) {
        cfg->caFile = ToSystemPath(GetSSLCAFileName());
        cfg->certFile = ToSystemPath(GetSSLCertificateFileName());
        cfg->keyPassword = GetSSLClientPassword();
    }

    cfg->connectWait = GetOutboundConnectTimeout();
    cfg->overallTimeout = GetOutboundOverallTimeout();
    cfg->writeTimeout = GetOutboundWriteTimeout();
    cfg->idleTimeout = GetInboundIdleTimeout();
    cfg->onDemand = IsDataSourceSocketPort() && !GetPersistentOutboundConnection();
    cfg->systemId = GetSystemID();
    cfg->tapiRoute = GetConnectViaTapi() && IsDataSourceSocketPort();
    return cfg;
}

MX* mxOpen()
{
    std::unique_ptr<MXCFG> cfg = mxConfig();
    if (!cfg) {
        mxLog("mxOpen(): mxConfig(%s) Failed(%d)", "", errno);
        return nullptr;
    }
    int listenSocket = -1;
    sockaddr_in address{};
    int rc = mxOpenListenSock(cfg->inboundHost.c_str(), cfg->inboundPort, &address, &listenSocket, mxLog);
    if (rc != 0) {
        mxLog("mxOpen() Error(%d) returned from mxOpenListenSock().", rc);
        return nullptr;
    }

    auto mx = std::make_unique<MX>();
    mx->error = kMxOk;
    mx->listenSocket = listenSocket;
    mx->masterSet.Add(listenSocket);
    mx->listenAddress = address;
    mx->mxcfg = std::move(cfg);
    mxClientInit(mx.get());

    if (!mx->mxcfg->onDemand && mxClientConnect(mx.get()) != 0) {
        mxLog("mxOpen() Error(%d,%d) on mxClientConnect()", errno, mx->error);
        if (!mx->mxcfg->tapiRoute) {
            mxCloseSocket(listenSocket, mxLog);
            mxLog("mxOpen():  Cannot connect to an Tuq host.");
            return nullptr;
        }
    }
    openRelays.push_back(mx.get());
    return mx.release();
}

int mxSelect(MX* mx)
{
    // TLS may already hold the next response; the socket would not show it.
    if (mxSslPending(mx)) {
        mx->readySet.Clear();
        mx->readySet.Add(mx->upstream.socket);
        return 1;
    }
    // Claims received with an earlier one are ready now; the sockets would
    // not show them. In master set order, which is the connections' order.
    if (!mx->socketsWithUnread.empty()) {
        SocketSet ready;
        for (int socket : mx->masterSet.Sockets())
            if (mx->socketsWithUnread.count(socket))
                ready.Add(socket);
        if (ready.Count() > 0) {
            mx->readySet = ready;
            return ready.Count();
        }
    }
    int timeout = 0;
    if (time_t nearest = NearestDeadline(mx)) {
        time_t left = nearest - time(nullptr);
        if (left <= 0) {
            mx->readySet.Clear();
            return 0;
        }
        timeout = static_cast<int>(left);
    }
    mx->readySet = mx->masterSet;
    return WinSelect(&mx->readySet, nullptr, nullptr, timeout);
}

void mxShutdown(int signal)
{
    mxLog("mxShutdown() PID(%d) exiting on Sig(%d)", static_cast<int>(getpid()), signal);
    while (!openRelays.empty()) {
        MX* mx = openRelays.back();
        openRelays.pop_back();
        while (!mx->connections.empty())
            mxSockFree(mx->connections.front().get());
        mxClientClose(mx);
        mx->mxcfg.reset();
        mx->masterSet.Remove(mx->listenSocket);
        mxCloseSocket(mx->listenSocket, mxLog);
        delete mx;
    }
}

namespace {

// One run of the server loop over an open relay context.
class ServerLoop {
public:
    ServerLoop(TMxSockThread& thread, MX* mx) : thread_(thread), mx_(mx) {}

    void Run()
    {
        while (!thread_.Terminated() && Pass()) {
        }
    }

private:
    bool Stopping(const char* line)
    {
        if (!thread_.Terminated())
            return false;
        mxLog("%s", line);
        return true;
    }

    bool HandOverConfigured() const { return static_cast<bool>(thread_.Callbacks().OnSendViaTapi); }

    // One pass; false leaves the loop.
    bool Pass()
    {
        claimsGoByModem_ = false;
        serviceDown_.reset();
        mxLog("Calling mxSelect()");
        int n = mxSelect(mx_);
        if (n == 0) {
            if (Stopping("mxSelect() returned 0 -- Detected Terminate condition."))
                return false;
            mxLog("mxSelect() returned 0 -- Time out condition.");
            mxTimeout(mx_);
            return true;
        }
        if (n == -1) {
            mxLog("mxSelect() returned SOCKET_ERROR.  Terminating...");
            return false;
        }
        mxLog("mxSelect() returned dataCount = %d", n);
        if (Stopping("Detected Terminate condition - After mxSelect"))
            return false;

        MxUpstream& up = mx_->upstream;
        if (up.open() && mx_->readySet.Contains(up.socket)) {
            if (Stopping("Detected Terminate condition - Before mxClientRead"))
                return false;
            mx_->readySet.Remove(up.socket);
            --n;
            ReadUpstream();
        }
        if (Stopping("Detected Terminate condition - Before checking for new pharmacy clients"))
            return false;

        if (n > 0) {
            if (mxSockNew(mx_) == 0) {
                --n;
                mxSockNewWaiting(mx_);
            }
            if (mx_->error != kMxOk)
                mxLog(" Error(%d,%d) in mxSockNew()", errno, mx_->error);
        }

        if (!up.open()) {
            if (Stopping("Detected Terminate condition - Before attempting to connect to Tuq."))
                return false;
            DecideRoute();
        }

        ServeClients(n);
        FlushUpstream();

        if (mx_->mxcfg->onDemand && up.open() && TransactionsAwaitingSwitch(mx_).empty()) {
            mxLog(" ClientDisconnects");
            mxClientClose(mx_);
        }
        return true;
    }

    void DecideRoute()
    {
        const MXCFG& cfg = *mx_->mxcfg;
        if (cfg.onDemand)
            return;
        if (!cfg.host[0] && !cfg.host[1] && !cfg.host[2]) {
            claimsGoByModem_ = HandOverConfigured();
        } else {
            mxLog("Calling mxClientConnect()");
            if (mxClientConnect(mx_) != 0) {
                mxLog("Returned from mxClientConnect() - Failed");
                claimsGoByModem_ = HandOverConfigured();
            }
        }
        if (claimsGoByModem_)
            mxLog("Set ASYNC flag to TRUE.");
    }

    // Answers every claim that waits for the switch and closes the upstream.
    void AnswerAwaitingAndClose(void (*sender)(MX*, MXTX*))
    {
        for (MXTX* tx : TransactionsAwaitingSwitch(mx_)) {
            MXSOCK* mxSock = tx->mxSock;
            sender(mx_, tx);
            mxTxFree(tx);
            RestartIdleDeadline(mxSock);
        }
        mxClientClose(mx_);
    }

    // Every response that one receive brought in is delivered in this pass.
    void ReadUpstream()
    {
        int rc = 0;
        do {
            rc = mxClientRead(mx_);
            HandleUpstreamRead(rc);
        } while (rc > 0 && mxClientHoldsMore(mx_));
    }

    void HandleUpstreamRead(int rc)
    {
        MxUpstream& up = mx_->upstream;
        if (rc < 0) {
            if (up.reason == MxReason::PeerClosed) {
                mxLog("   CLIENT: Server has apparently disconnected");
                AnswerAwaitingAndClose(mxHostDisconnected);
            } else if (up.reason == MxReason::BadLength) {
                mxLog("   CLIENT: BAD LENGTH on mxClientRead()");
                AnswerAwaitingAndClose(mxHostResponseError);
            } else {
                mxLog("   CLIENT: mxClientRead Error(%d,%d)", errno, LoggedNumber(up.reason));
                AnswerAwaitingAndClose(mxHostResponseError);
            }
            return;
        }
        if (rc > 0) {
            mxLog("    (%ld) RSP(%.*s)", UpstreamSequenceNumber(up.sequence()), Capped(rc), up.data());
            mxLog("Calling mxSockWrite(socket)");
            if (mxSockWrite(mx_) != 0 && mx_->error != kMxUnmatchedResponse)
                mxLog(" Error(%d,%d) in mxSockWrite()", errno, mx_->error);
        }
    }

    void ServeClients(int n)
    {
        for (int i = 0; i < n; ++i) {
            mxLog("DataCount = %d", n - i);
            if (Stopping("Detected Terminate condition - mxSockReady"))
                return;
            mxLog("Calling mxSockReady()");
            MXSOCK* mxSock = mxSockReady(mx_);
            if (!mxSock) {
                if (mx_->error != kMxNoInboundReady)
                    mxLog(" Error(%d,%d) in mxSockReady()", errno, mx_->error);
                return;
            }
            if (Stopping("Detected Terminate condition - Before mxSockRead"))
                return;
            mxLog("Calling mxSockRead()");
            MXTX* tx = nullptr;
            int length = mxSockRead(mx_, mxSock, &tx);
            if (length < 0) {
                ReportReadFailure(mxSock, tx);
                mxSockFree(mxSock);
            } else if (length == 0) {
                mxLog("mxSockRead() returned 0");
            } else {
                mxLog("  (%d,%ld)REQ(%.*s)", mxSock->socket, tx->seqNo, Capped(length), tx->data());
                if (!RouteClaim(mxSock, tx))
                    return;
            }
        }
    }

    void ReportReadFailure(MXSOCK* mxSock, MXTX* tx)
    {
        MxReason reason = tx ? tx->reason : MxReason::InvalidState;
        if (reason == MxReason::PeerClosed)
            mxLog("    Socket Disconnected(%d)", mxSock->socket);
        else if (reason == MxReason::BadLength)
            mxLog("    Socket Obliterated(%d) (%d,%d) Claim too long(%d)", mxSock->socket, errno,
                  LoggedNumber(reason), tx->dataLength);
        else
            mxLog("    Socket Reset(%d) (%d,%d)", mxSock->socket, errno, LoggedNumber(reason));
    }

    // TUQ07 for the claim; the connection goes when nothing else is on it.
    void AnswerHostUnavailable(MXSOCK* mxSock, MXTX* tx, const char* line)
    {
        mxLog(line, mxSock->socket);
        mxHostUnavailable(mx_, tx);
        mxTxFree(tx);
        if (mxSock->transactions.empty())
            mxSockFree(mxSock);
    }

    static bool MarkerFilePresent()
    {
        FILE* marker = std::fopen("./mxtuq.down", "r");
        if (!marker)
            return false;
        std::fclose(marker);
        return true;
    }

    // Looked for once per pass, not once per claim: a pass lasts
    // microseconds, and the file's coming or going counts from the next one.
    bool ServiceDown()
    {
        if (!serviceDown_)
            serviceDown_ = MarkerFilePresent();
        return *serviceDown_;
    }

    // Sends a complete claim on its way; false stops serving this pass.
    bool RouteClaim(MXSOCK* mxSock, MXTX* tx)
    {
        if (ServiceDown()) {
            mxLog("    SERVICE IS DOWN(mxtuq.down)");
            AnswerHostUnavailable(mxSock, tx, "    Send HostUnavailable to Client(%d)");
            return true;
        }
        if (claimsGoByModem_) {
            SendViaModem(mxSock, tx);
            return true;
        }
        MxUpstream& up = mx_->upstream;
        if (!up.open())
            mxClientConnect(mx_);
        if (!up.open()) {
            AnswerHostUnavailable(mxSock, tx, " Send HostUnavailable to Client(%d)");
            return true;
        }
        if (Stopping("Detected Terminate condition - Before mxClientWrite"))
            return false;
        if (mxClientWrite(mx_, mxSock) != 0)
            AnswerLostUpstream({tx});
        else if (mxClientUnsentBytes(mx_) >= kFlushBytes)
            FlushUpstream();
        return true;
    }

    // Claims could not be written: TUQ07 for them, TUQ02 for every other
    // claim awaiting the switch, and the upstream connection closes.
    void AnswerLostUpstream(const std::vector<MXTX*>& unwritten)
    {
        mxLog(" Lost Client Connection(%d,%d)", errno, mx_->error);
        for (MXTX* tx : unwritten) {
            mxHostUnavailable(mx_, tx);
            mxTxFree(tx);
        }
        AnswerAwaitingAndClose(mxHostDisconnected);
    }

    // Sends the claims written upstream so far in this pass.
    void FlushUpstream()
    {
        std::vector<long> claims;
        if (mxClientFlush(mx_, claims) == 0)
            return;
        std::vector<MXTX*> unwritten;
        for (long seqNo : claims) {
            auto found = mx_->transactionBySeqNo.find(seqNo);
            if (found != mx_->transactionBySeqNo.end())
                unwritten.push_back(found->second);
        }
        AnswerLostUpstream(unwritten);
    }

    void SendViaModem(MXSOCK* mxSock, MXTX* tx)
    {
        mxLog("Calling TapiProcessTx().");
        if (TapiProcessTx(mx_, mxSock) != 0) {
            AnswerHostUnavailable(mxSock, tx, " Send HostUnavailable to Client(%d) for TAPI Send");
            return;
        }
        MxUpstream& up = mx_->upstream;
        mxLog("    (%ld) TAPI RSP(%.*s)", UpstreamSequenceNumber(up.sequence()), Capped(up.dataLength), up.data());
        mxLog("Calling mxSockWrite(TAPI)");
        if (mxSockWrite(mx_) != 0 && mx_->error != kMxUnmatchedResponse)
            mxLog(" Error(%d,%d) in mxSockWrite() for TAPI response", errno, mx_->error);
    }

    TMxSockThread& thread_;
    MX* mx_;
    // This pass hands its claims to the modem route (the log's ASYNC flag).
    bool claimsGoByModem_ = false;
    std::optional<bool> serviceDown_;  // this pass's look for the marker file
};

void SwitchNetworkLogOn()
{
    if (!GetEnableNetworkDebugMessages())
        return;
    std::string file = GetNetworkDebugFileName();
    if (!file.empty())
        mxLogFile(ToSystemPath(file).c_str());
}

void RunRelay(TMxSockThread& thread)
{
    SwitchNetworkLogOn();
    mxLog("________Entry_of_mxtuq_svr()_____________________________");
    if (thread.Terminated()) {
        mxLog("Detected Terminate condition - Before mxOpen");
        return;
    }
    RaiseDescriptorLimit(kWantedDescriptors, mxLog);
    thread.mx = mxOpen();
    if (!thread.mx) {
        mxLog("Error(%d) in mxOpen()", errno);
        if (thread.Terminated())
            mxLog("Detected Terminate condition - After mxOpen");
        else
            mxLog("Maximum tries(%d) attempted.  Exiting.", 1);
        return;
    }
    if (thread.Callbacks().OnReady) {
        mxLog("Sending notifications that MxSock is ready for transactions.");
        thread.Callbacks().OnReady();
    }

    ServerLoop(thread, thread.mx).Run();

    mxLog("Performing final cleanup.");
    mxShutdown(0);
    thread.mx = nullptr;
    if (thread.Terminated())
        mxLog("________Normal Exit From mxtuq_svr()_____________________");
    else
        mxLog("________Abnormal Exit From mxtuq_svr()___________________");
}

} // namespace

void mxtuq_svr(TMxSockThread& thread)
{
    try {
        RunRelay(thread);
    } catch (const std::exception& e) {
        mxLog("  Error:  '%s'", e.what());
    } catch (...) {
        mxLog("  Error:  Encountered an unexpected exception of an unknown kind");
    }
    // Whatever ended the loop, the listening socket must not stay bound.
    if (thread.mx) {
        mxShutdown(0);
        thread.mx = nullptr;
    }
    mxLogFile(nullptr);
}
