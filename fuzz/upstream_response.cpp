// The relay's reader of the switch's responses (mxClientRead, plain TCP) over
// a real socket, and the sequence matching applied to what it read. The
// first input byte turns Twofish on the upstream link on or off.

#include "fuzz_check.h"
#include "relay/upstream.h"
#include "relay/mx_types.h"

#include <algorithm>
#include <cstdint>
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
    mxClientInit(&mx);
    mx.upstream.socket = sockets[0];
    mx.upstream.readCipher = NewCipher((mode & 1) != 0);

    for (size_t round = 0; round <= streamSize + 1; ++round) {
        int length = mxClientRead(&mx);
        if (length < 0)
            break;
        if (length == 0)
            continue;
        FUZZ_CHECK(length <= kMaxFrameData && length == mx.upstream.dataLength);
        const char* sequence = mx.upstream.sequence();
        long number = UpstreamSequenceNumber(sequence);
        UpstreamSequenceMatches(InboundFraming::TuqHeader, number, sequence);
        UpstreamSequenceMatches(InboundFraming::MxSock, number, sequence);
    }
    ::close(sockets[0]);
    ::close(sockets[1]);
    return 0;
}
