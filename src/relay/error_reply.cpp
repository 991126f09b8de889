#include "relay/error_reply.h"

#include "base/net_log.h"
#include "reject/error_catalogue.h"
#include "reject/ncpdp_reject.h"

#include "base/format_text.h"

#include <algorithm>
#include <cstring>

namespace {

// The reply as logged: NUL, LF, CR and DEL shown as '~'.
std::string Tilded(const std::string& response)
{
    std::string shown = response.substr(0, 110);
    std::replace_if(shown.begin(), shown.end(),
                    [](char c) { return c == '\0' || c == '\n' || c == '\r' || c == '\x7f'; }, '~');
    return shown;
}

// A connection reads one claim at a time; its reading flag stands for the
// claim not yet forwarded. Answering an earlier, forwarded claim of the same
// connection must not end the reading of the next one.
void EndReadingOf(MXTX* tx)
{
    if (tx->state != TxState::Forwarded)
        tx->mxSock->reading = false;
}

void SendCatalogueEntry(MX* mx, MXTX* tx, ErrorReply reply)
{
    std::string systemId = (mx && mx->mxcfg) ? mx->mxcfg->systemId : "";
    const ErrorReplyEntry& entry = ErrorReplyFor(reply);
    mxErrorReply(mx, tx, entry.rejectCodes, ErrorReplyText(entry, systemId).c_str());
}

} // namespace

int mxErrorReply(MX* mx, MXTX* tx, const char* codes, const char* message)
{
    if (!mx) {
        mxLog("        mxErrorReply() Error: mx is NULL; Send no response");
        return -1;
    }
    if (!tx) {
        mxLog("        mxErrorReply() Error: mxTx is NULL; Send no response");
        return -1;
    }
    MXSOCK* mxSock = tx->mxSock;
    if (!mxSock) {
        mxLog("        mxErrorReply() Error: mxTx->mxSock is NULL; Send no response");
        return -1;
    }

    std::string response;
    int e = createNcpdpRejectResponse(tx->data(), tx->dataLength, codes, message, response);
    if (e != 0) {
        EndReadingOf(tx);
        mxLog("        mxErrorReply(%.4d,%ld) Error(%d): Could not create response; Send no response",
              mxSock->socket, tx->seqNo, e);
        return e;
    }
    int length = static_cast<int>(std::min<size_t>(response.size(), kMaxFrameData));
    std::memcpy(tx->data(), response.data(), static_cast<size_t>(length));
    WriteReplyHeader(tx->framing, tx->frame, tx->clientSequence.c_str(), length);

    std::string shown = Tilded(response.substr(0, static_cast<size_t>(length)));
    mxLog("mxErrorReply(%d,%ld)ERSP(%.*s)", mxSock->socket, tx->seqNo, static_cast<int>(shown.size()),
          shown.c_str());

    EncryptBuffer(mxSock->writeCipher.get(), tx->data(), length);
    int total = tx->headerSize + length;
    int error = 0;
    int sent = mxSend(mxSock->socket, tx->frame, total, &error);
    if (sent < total) {
        mxLog("mxHostUnavailable(): Error(%d) in send(), Sent %d of %d", error, sent < 0 ? 0 : sent, total);
        mxErrorMessage(error, mxLog);
    }
    EndReadingOf(tx);
    return 0;
}

void mxHostDisconnected(MX* mx, MXTX* tx)
{
    SendCatalogueEntry(mx, tx, ErrorReply::HostDisconnected);
}

void mxProcessorTimedOut(MX* mx, MXTX* tx)
{
    SendCatalogueEntry(mx, tx, ErrorReply::ProcessorTimedOut);
}

void mxHostUnavailable(MX* mx, MXTX* tx)
{
    SendCatalogueEntry(mx, tx, ErrorReply::ProcessorUnavailable);
}

void mxHostResponseError(MX* mx, MXTX* tx)
{
    SendCatalogueEntry(mx, tx, ErrorReply::HostResponseError);
}
