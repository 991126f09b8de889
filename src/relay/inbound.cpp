#include "relay/inbound.h"

#include "relay/error_reply.h"
#include "base/net_log.h"

#include "base/format_text.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>

CipherPtr NewCipher(bool twofish)
{
    return CipherPtr(CreateTwofishContext(twofish ? TwofishBlocks : TwofishNone).release());
}

namespace {

std::atomic<long> relaySequenceCounter{1};

constexpr int kScratchSize = 8208;

bool WouldBlock(int error)
{
    return error == EWOULDBLOCK || error == EAGAIN;
}

} // namespace

long NextRelaySequenceNumber()
{
    long current = relaySequenceCounter.load();
    while (!relaySequenceCounter.compare_exchange_weak(current, FollowingSequenceNumber(current))) {
    }
    return current;
}

void RestartIdleDeadline(MXSOCK* mxSock)
{
    int idle = mxSock->mx->mxcfg->idleTimeout;
    mxSock->idleDeadline = (mxSock->transactions.empty() && idle > 0) ? time(nullptr) + idle : 0;
}

// ---------------------------------------------------------------- accept

namespace {

// Accepts one connection from the backlog: 0, or -1 with MX error set (0
// when quietWhenNone and nothing was waiting).
int AcceptConnection(MX* mx, bool quietWhenNone)
{
    socklen_t size = sizeof mx->listenAddress;
    int sock = accept4(mx->listenSocket, reinterpret_cast<sockaddr*>(&mx->listenAddress), &size,
                       SOCK_CLOEXEC);
    if (sock < 0) {
        int error = errno;
        if (quietWhenNone && WouldBlock(error)) {
            mx->error = kMxOk;
            return -1;
        }
        mxLog("mxSockNew(): accept() Failed(%d)", error);
        mxErrorMessage(error, mxLog);
        mx->error = kMxAcceptFailed;
        return -1;
    }
    char peer[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &mx->listenAddress.sin_addr, peer, sizeof peer);
    mxLog("Accepted new connection(%d) (%s)", sock, peer);

    if (!SetNonBlocking(sock)) {
        int error = errno;
        mxCloseSocket(sock, mxLog);
        mxLog("mxSockNew(): ioctlsocket failed (%d)", error);
        mxErrorMessage(error, mxLog);
        mx->error = kMxNonBlockingFailed;
        return -1;
    }

    // A reply must not wait for the client to acknowledge the one before.
    SetNoDelay(sock);

    auto mxSock = std::make_unique<MXSOCK>();
    mxSock->mx = mx;
    mxSock->socket = sock;
    mxSock->readCipher = NewCipher(mx->mxcfg->inboundCipher);
    mxSock->writeCipher = NewCipher(mx->mxcfg->inboundCipher);
    if (!mx->masterSet.Add(sock))
        mxLog("mxSockNew(): socket(%d) not watched: %d sockets already in use", sock,
              SocketSet::kCapacity);
    RestartIdleDeadline(mxSock.get());
    mx->connectionBySocket[sock] = mxSock.get();
    mx->connections.push_back(std::move(mxSock));
    mx->error = kMxOk;
    return 0;
}

} // namespace

int mxSockNew(MX* mx)
{
    if (!mx->readySet.Contains(mx->listenSocket)) {
        mx->error = kMxOk;
        return -1;
    }
    mx->readySet.Remove(mx->listenSocket);
    return AcceptConnection(mx, false);
}

int mxSockNewWaiting(MX* mx)
{
    int accepted = 0;
    while (AcceptConnection(mx, true) == 0)
        ++accepted;
    return accepted;
}

MXTX* FirstCompleteTransaction(MXSOCK* mxSock)
{
    for (auto& candidate : mxSock->transactions)
        if (candidate->state == TxState::Complete)
            return candidate.get();
    return nullptr;
}

MXTX* mxTxNew(MX* mx, MXSOCK* mxSock)
{
    auto tx = std::make_unique<MXTX>();
    tx->mxSock = mxSock;
    tx->framing = mx->mxcfg->inboundFraming;
    tx->headerSize = HeaderSize(tx->framing);
    tx->remaining = tx->headerSize;
    if (mx->mxcfg->overallTimeout > 0)
        tx->deadline = time(nullptr) + mx->mxcfg->overallTimeout;
    mxSock->transactions.push_back(std::move(tx));
    return mxSock->transactions.back().get();
}

MXSOCK* mxSockReady(MX* mx)
{
    // Client sockets stand in the master set, and so in the ready set, in
    // accept order, as in the connection list; served ones leave the ready
    // set. The first ready socket of a connection is therefore the first
    // ready connection in list order, found without walking the list.
    for (int socket : mx->readySet.Sockets()) {
        auto found = mx->connectionBySocket.find(socket);
        if (found != mx->connectionBySocket.end())
            return found->second;
    }
    mx->error = kMxNoInboundReady;
    mxLog("   mxSockReady(): No More Inbound Claims");
    return nullptr;
}

// ---------------------------------------------------------------- read

namespace {

MXTX* TransactionBeingRead(MXSOCK* mxSock)
{
    for (auto& tx : mxSock->transactions) {
        if (tx->state == TxState::ReadingHeader || tx->state == TxState::ReadingData)
            return tx.get();
    }
    return nullptr;
}

// Completes a claim whose last data byte has arrived.
int CompleteClaim(MXSOCK* mxSock, MXTX* tx)
{
    DecryptBuffer(mxSock->readCipher.get(), tx->data(), tx->dataLength);
    int seqSize = ClientSequenceSize(tx->framing);
    tx->clientSequence.assign(tx->frame + ClientSequenceOffset(tx->framing), seqSize);
    tx->seqNo = NextRelaySequenceNumber();
    mxSock->mx->transactionBySeqNo[tx->seqNo] = tx;
    if (tx->framing == InboundFraming::MxSock) {
        std::string digits = FormatText("%.8ld", tx->seqNo);
        std::memcpy(tx->frame + 10, digits.data(), kClaimSequenceSize);
    }
    tx->state = TxState::Complete;
    mxLog("mxSockRead(%d) rtnSeqno(%.*s) ==> SeqNo(%ld)", mxSock->socket, seqSize,
          tx->clientSequence.c_str(), tx->seqNo);
    return tx->dataLength;
}

// The start of the client's next claim, received with the one before.
void KeepUnread(MXSOCK* mxSock, const char* bytes, int count)
{
    mxSock->unread.insert(0, bytes, static_cast<size_t>(count));
    mxSock->mx->socketsWithUnread.insert(mxSock->socket);
}

// Claim bytes: those kept from an earlier receive first, else one receive of
// at most room bytes. Results as mxRecv's.
int ReceiveClaimBytes(MXSOCK* mxSock, char* into, int room, int* error)
{
    std::string& unread = mxSock->unread;
    if (unread.empty())
        return mxRecv(mxSock->socket, into, room, error, mxLog);
    int count = std::min(room, static_cast<int>(unread.size()));
    std::memcpy(into, unread.data(), static_cast<size_t>(count));
    unread.erase(0, static_cast<size_t>(count));
    if (unread.empty())
        mxSock->mx->socketsWithUnread.erase(mxSock->socket);
    *error = 0;
    return count;
}

// got data bytes have arrived in place.
int AcceptData(MXSOCK* mxSock, MXTX* tx, int got)
{
    if (got < tx->remaining) {
        mxLog("    mxSockRead(%d) Data - got %d of %d bytes", mxSock->socket, got, tx->remaining);
        tx->done += got;
        tx->remaining -= got;
        return 0;
    }
    return CompleteClaim(mxSock, tx);
}

int ReadData(MXSOCK* mxSock, MXTX* tx)
{
    int error = 0;
    int got = ReceiveClaimBytes(mxSock, tx->data() + tx->done, tx->remaining, &error);
    if (got == 0) {
        tx->reason = MxReason::PeerClosed;
        tx->state = TxState::ReadFailed;
        return -1;
    }
    if (got < 0) {
        if (WouldBlock(error))
            return 0;
        tx->reason = MxReason::RecvFailed;
        mxLog("mxSockRead() mxRecv2() Failed(%d)", error);
        return -1;
    }
    return AcceptData(mxSock, tx, got);
}

// Data bytes that came in with the header, already in place: what a
// receive of the data would have brought. Bytes past the claim belong to
// the client's next one.
int TakeEarlyData(MXSOCK* mxSock, MXTX* tx, int early)
{
    if (early > tx->remaining) {
        KeepUnread(mxSock, tx->data() + tx->remaining, early - tx->remaining);
        early = tx->remaining;
    }
    return AcceptData(mxSock, tx, early);
}

int ReadHeader(MXSOCK* mxSock, MXTX* tx)
{
    int error = 0;
    // Room for the whole frame: a claim that arrives in one piece takes one
    // receive instead of two.
    int room = static_cast<int>(sizeof tx->frame) - tx->done;
    int got = ReceiveClaimBytes(mxSock, tx->frame + tx->done, room, &error);
    if (got == 0) {
        tx->reason = MxReason::PeerClosed;
        return -1;
    }
    if (got < 0) {
        if (WouldBlock(error))
            return 0;
        tx->reason = MxReason::RecvFailed;
        tx->state = TxState::ReadFailed;
        mxLog("mxSockRead() mxRecv() Failed(%d)", error);
        return -1;
    }
    if (got < tx->remaining) {
        mxLog("    mxSockRead(%d) Header - got %d of %d bytes", mxSock->socket, got, tx->remaining);
        tx->done += got;
        tx->remaining -= got;
        return 0;
    }
    int early = got - tx->remaining;

    long long length = DeclaredDataLength(tx->framing, tx->frame);
    if (length > kMaxFrameData) {
        tx->reason = MxReason::BadLength;
        tx->state = TxState::ReadFailed;
        // Kept for the caller's "Claim too long" line; the claim is never read.
        tx->dataLength = length > 99999999 ? 99999999 : static_cast<int>(length);
        mxLog("   mxSockRead() Error: Data Length(%lld) exceeded %d bytes.", length, kMaxFrameData);
        return -1;
    }
    if (length < 0) {
        tx->reason = MxReason::RecvFailed;
        return -1;
    }
    // An empty claim ends like a closed connection (a receive of zero bytes
    // would only report "no data yet" here).
    if (length == 0) {
        tx->reason = MxReason::PeerClosed;
        tx->state = TxState::ReadFailed;
        return -1;
    }
    tx->dataLength = static_cast<int>(length);
    tx->state = TxState::ReadingData;
    tx->remaining = tx->dataLength;
    tx->done = 0;
    if (early > 0)
        return TakeEarlyData(mxSock, tx, early);
    return ReadData(mxSock, tx);
}

int ReadInInvalidState(MXSOCK* mxSock, MXTX* tx)
{
    mxLog("    mxSockRead(%d) Invalid state(%d)", mxSock->socket, LoggedNumber(tx->state));
    tx->reason = MxReason::InvalidState;
    char scratch[kScratchSize];
    int error = 0;
    int got = mxRecv(mxSock->socket, scratch, sizeof scratch, &error, mxLog);
    if (got > 0) {
        mxLog("SRE(%.*s)", got, scratch);
        DecryptBuffer(mxSock->readCipher.get(), scratch, got);
        mxLog("SRE(%.*s)", got, scratch);
    }
    return -1;
}

} // namespace

int mxSockRead(MX* mx, MXSOCK* mxSock, MXTX** txOut)
{
    *txOut = nullptr;
    mx->readySet.Remove(mxSock->socket);

    MXTX* tx = nullptr;
    if (mxSock->reading) {
        tx = TransactionBeingRead(mxSock);
        if (!tx) {
            mxLog("mxSockRead(): Cannot find MXTX");
            mx->error = kMxMissingRecord;
            return -1;
        }
    } else {
        tx = mxTxNew(mx, mxSock);
        if (!tx) {
            mxLog("mxSockRead(): mxTxNew() returns NULL");
            mx->error = kMxMissingRecord;
            return -1;
        }
        mxSock->reading = true;
        tx->state = TxState::ReadingHeader;
    }
    *txOut = tx;
    tx->reason = MxReason::None;

    switch (tx->state) {
    case TxState::ReadingHeader: return ReadHeader(mxSock, tx);
    case TxState::ReadingData: return ReadData(mxSock, tx);
    default: return ReadInInvalidState(mxSock, tx);
    }
}

// ---------------------------------------------------------------- write

namespace {

// The digits of field as a number, or -1 when a byte is not a digit.
long DigitsValue(const char* field, int count)
{
    long value = 0;
    for (int i = 0; i < count; ++i) {
        if (field[i] < '0' || field[i] > '9')
            return -1;
        value = value * 10 + (field[i] - '0');
    }
    return value;
}

// The pending transaction the upstream sequence field names: nine digits at
// bytes 0-8 for a Tuq Header claim, eight at bytes 1-8 for an MxSock claim.
MXTX* MatchingTransaction(MX* mx, const char* sequence12)
{
    for (long seqNo : {DigitsValue(sequence12, 9), DigitsValue(sequence12 + 1, 8)}) {
        auto found = mx->transactionBySeqNo.find(seqNo);
        if (found != mx->transactionBySeqNo.end() &&
            UpstreamSequenceMatches(found->second->framing, seqNo, sequence12))
            return found->second;
    }
    return nullptr;
}

} // namespace

int mxSockWrite(MX* mx)
{
    MxUpstream& up = mx->upstream;
    MXTX* tx = MatchingTransaction(mx, up.sequence());
    if (!tx) {
        mxLog("   CLIENT Read unmatched SEQNO(%.8s) Possible timeout.", up.sequence() + 1);
        mx->error = kMxUnmatchedResponse;
        return -1;
    }

    MXSOCK* mxSock = tx->mxSock;
    int length = up.dataLength;
    std::memcpy(tx->data(), up.data(), static_cast<size_t>(length));
    EncryptBuffer(mxSock->writeCipher.get(), tx->data(), length);
    WriteReplyHeader(tx->framing, tx->frame, tx->clientSequence.c_str(), length);

    int total = tx->headerSize + length;
    int error = 0;
    int sent = mxSend(mxSock->socket, tx->frame, total, &error);
    if (sent < total) {
        mxLog("mxSockWrite(): Error(%d) in send()", error);
        mxErrorMessage(error, mxLog);
        mx->error = kMxWriteFailed;
        mxSockFree(mxSock);
        return -1;
    }
    mxTxFree(tx);
    // Idleness counts from the last answer, not from the accept.
    RestartIdleDeadline(mxSock);
    return 0;
}

// ---------------------------------------------------------------- deadlines

std::vector<MXTX*> PendingTransactions(MX* mx)
{
    std::vector<MXTX*> all;
    for (auto& mxSock : mx->connections)
        for (auto& tx : mxSock->transactions)
            all.push_back(tx.get());
    return all;
}

std::vector<MXTX*> TransactionsAwaitingSwitch(MX* mx)
{
    std::vector<MXTX*> waiting;
    for (MXTX* tx : PendingTransactions(mx)) {
        if (tx->state == TxState::Complete || tx->state == TxState::Forwarded)
            waiting.push_back(tx);
    }
    return waiting;
}

namespace {

// Asked before every wait: walks the records without copying them out.
MXTX* EarliestTransactionDeadline(MX* mx)
{
    MXTX* earliest = nullptr;
    for (auto& mxSock : mx->connections)
        for (auto& tx : mxSock->transactions)
            if (tx->deadline != 0 && (!earliest || tx->deadline < earliest->deadline))
                earliest = tx.get();
    return earliest;
}

MXSOCK* EarliestIdleConnection(MX* mx)
{
    MXSOCK* earliest = nullptr;
    for (auto& mxSock : mx->connections) {
        if (mxSock->transactions.empty() && mxSock->idleDeadline != 0 &&
            (!earliest || mxSock->idleDeadline < earliest->idleDeadline))
            earliest = mxSock.get();
    }
    return earliest;
}

bool InFuture(time_t deadline)
{
    return deadline > time(nullptr);
}

} // namespace

time_t NearestDeadline(MX* mx)
{
    time_t nearest = 0;
    if (MXTX* tx = EarliestTransactionDeadline(mx))
        nearest = tx->deadline;
    if (MXSOCK* idle = EarliestIdleConnection(mx)) {
        if (nearest == 0 || idle->idleDeadline < nearest)
            nearest = idle->idleDeadline;
    }
    return nearest;
}

int mxTimeout(MX* mx)
{
    int count = 0;
    while (MXTX* tx = EarliestTransactionDeadline(mx)) {
        if (InFuture(tx->deadline))
            break;
        MXSOCK* mxSock = tx->mxSock;
        mxLog("   mxTimeout(%.4d) Tx Timeout, SeqNo(%ld) State(%d)", mxSock->socket, tx->seqNo,
              LoggedNumber(tx->state));
        mxProcessorTimedOut(mx, tx);
        mxLog("   mxTimeout(%.4d) Replied with Processor Timeout, SeqNo(%ld)", mxSock->socket, tx->seqNo);
        mxTxFree(tx);
        RestartIdleDeadline(mxSock);
        ++count;
    }
    while (MXSOCK* mxSock = EarliestIdleConnection(mx)) {
        if (InFuture(mxSock->idleDeadline))
            break;
        mxLog("   mxTimeout(%.4d) Socket Timeout, State(%d)", mxSock->socket, mxSock->reading ? 1 : 0);
        mxSockFree(mxSock);
        ++count;
    }
    if (count > 0) {
        mx->error = kMxTimeout;
        return count;
    }
    mxLog("mxTimeout(): Could not locate a timed out event.");
    return 0;
}

// ---------------------------------------------------------------- free

void mxTxFree(MXTX* tx)
{
    MXSOCK* mxSock = tx->mxSock;
    int socket = mxSock ? mxSock->socket : -1;
    if (mxSock) {
        auto byNumber = mxSock->mx->transactionBySeqNo.find(tx->seqNo);
        if (byNumber != mxSock->mx->transactionBySeqNo.end() && byNumber->second == tx)
            mxSock->mx->transactionBySeqNo.erase(byNumber);
        auto& list = mxSock->transactions;
        auto it = std::find_if(list.begin(), list.end(), [tx](const auto& p) { return p.get() == tx; });
        if (it != list.end()) {
            if (tx->seqNo != 0)
                mxLog("mxTxFree(): mxTx(%.4d,%ld) Unlinked and Freed", socket, tx->seqNo);
            list.erase(it);
            return;
        }
    }
    mxLog("mxTxFree(): mxTx(%.4d,%ld) Not Found, but Freed", socket, tx->seqNo);
}

void mxSockFree(MXSOCK* mxSock)
{
    MX* mx = mxSock->mx;
    int socket = mxSock->socket;
    while (!mxSock->transactions.empty())
        mxTxFree(mxSock->transactions.front().get());
    mxSock->readCipher.reset();
    mxSock->writeCipher.reset();
    if (mxSock->socket != -1) {
        mx->connectionBySocket.erase(mxSock->socket);
        mx->socketsWithUnread.erase(mxSock->socket);
        mx->masterSet.Remove(mxSock->socket);
        mx->readySet.Remove(mxSock->socket);
        mxCloseSocket(mxSock->socket, mxLog);
        mxLog("mxSockFree(%.4d)", mxSock->socket);
        mxSock->socket = -1;
    }
    auto& list = mx->connections;
    auto it = std::find_if(list.begin(), list.end(), [mxSock](const auto& p) { return p.get() == mxSock; });
    if (it == list.end()) {
        mxLog("mxSockFree(): Alert: Could not find socket(%d)", socket);
        return;
    }
    list.erase(it);
}
