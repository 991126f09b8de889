// The relay's inbound framing reader (mxSockRead) over a real socket: a
// client's bytes in the MxSock or the Tuq Header framing, with or without
// Twofish. The first input byte picks the framing and the cipher.

#include "fuzz_check.h"
#include "socket_stream.h"
#include "relay/inbound.h"
#include "relay/mx_types.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    StreamFromInput stream(data + 1, size - 1);

    MX mx;
    mx.mxcfg = std::make_unique<MXCFG>();
    mx.mxcfg->inboundFraming = (mode & 1) ? InboundFraming::MxSock : InboundFraming::TuqHeader;
    mx.mxcfg->overallTimeout = 0;
    auto connection = std::make_unique<MXSOCK>();
    MXSOCK* client = connection.get();
    client->mx = &mx;
    client->socket = stream.socket();
    client->readCipher = NewCipher((mode & 2) != 0);
    mx.connections.push_back(std::move(connection));

    // Every read takes at least one byte until the stream ends.
    for (size_t round = 0; round <= stream.size() + 1; ++round) {
        MXTX* tx = nullptr;
        int length = mxSockRead(&mx, client, &tx);
        if (length < 0)
            break;
        FUZZ_CHECK(tx != nullptr);
        if (length == 0)
            continue;
        FUZZ_CHECK(length <= kMaxFrameData && length == tx->dataLength);
        FUZZ_CHECK(tx->state == TxState::Complete);
        // As forwarding does: the claim leaves and the next one is read.
        tx->state = TxState::Forwarded;
        client->reading = false;
        char header[kClaimHeaderSize];
        std::memcpy(header, tx->frame, sizeof header);
        WriteReplyHeader(tx->framing, header, tx->clientSequence.c_str(), length);
        FUZZ_CHECK(DeclaredDataLength(tx->framing, header) == length);
    }
    return 0;
}
