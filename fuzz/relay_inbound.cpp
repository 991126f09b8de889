// The relay's inbound framing reader (mxSockRead) over a real socket: a
// client's bytes in the MxSock or the Tuq Header framing, with or without
// Twofish. The first input byte picks the framing and the cipher.

#include "fuzz_check.h"
#include "relay/inbound.h"
#include "relay/mx_types.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Fits a socket pair's buffer, so that one write never blocks.
constexpr size_t kMaxStream = 64 * 1024;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    const size_t streamSize = std::min(size - 1, kMaxStream);

    int sockets[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) == 0);
    FUZZ_CHECK(::write(sockets[1], data + 1, streamSize) == static_cast<ssize_t>(streamSize));
    ::shutdown(sockets[1], SHUT_WR);

    MX mx;
    mx.mxcfg = std::make_unique<MXCFG>();
    mx.mxcfg->inboundFraming = (mode & 1) ? InboundFraming::MxSock : InboundFraming::TuqHeader;
    mx.mxcfg->overallTimeout = 0;
    auto connection = std::make_unique<MXSOCK>();
    MXSOCK* client = connection.get();
    client->mx = &mx;
    client->socket = sockets[0];
    client->readCipher = NewCipher((mode & 2) != 0);
    mx.connections.push_back(std::move(connection));

    // Every read takes at least one byte until the stream ends.
    for (size_t round = 0; round <= streamSize + 1; ++round) {
        MXTX* tx = nullptr;
        int length = mxSockRead(&mx, client, &tx);
        if (length < 0)
            break;
        FUZZ_CHECK(tx != nullptr);
        if (length == 0)
            continue;
        FUZZ_CHECK(length <= kMaxFrameData && length == tx->dataLength);
        FUZZ_CHECK(tx->state == kTxComplete);
        // As forwarding does: the claim leaves and the next one is read.
        tx->state = kTxForwarded;
        client->reading = false;
        char header[kClaimHeaderSize];
        std::memcpy(header, tx->frame, sizeof header);
        WriteReplyHeader(tx->framing, header, tx->clientSequence.c_str(), length);
        FUZZ_CHECK(DeclaredDataLength(tx->framing, header) == length);
    }
    ::close(sockets[0]);
    ::close(sockets[1]);
    return 0;
}
