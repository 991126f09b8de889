// The relay's reader of the switch's responses (mxClientRead, plain TCP) over
// a real socket, and the sequence matching applied to what it read. The
// first input byte turns Twofish on the upstream link on or off.

#include "fuzz_check.h"
#include "socket_stream.h"
#include "relay/upstream.h"
#include "relay/mx_types.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t mode = data[0];
    StreamFromInput stream(data + 1, size - 1);

    MX mx;
    mx.mxcfg = std::make_unique<MXCFG>();
    mxClientInit(&mx);
    mx.upstream.socket = stream.socket();
    mx.upstream.readCipher = NewCipher((mode & 1) != 0);

    for (size_t round = 0; round <= stream.size() + 1; ++round) {
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
    return 0;
}
