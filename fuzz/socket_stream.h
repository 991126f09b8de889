#pragma once
#include "fuzz_check.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sys/socket.h>
#include <unistd.h>

// A connected socket that delivers the given bytes and then the end of the
// stream, as a peer that sent them and closed would.
class StreamFromInput {
public:
    // At most what a socket pair's buffer holds, so that one write never blocks.
    static constexpr size_t kMaxBytes = 64 * 1024;

    StreamFromInput(const uint8_t* data, size_t size) : size_(std::min(size, kMaxBytes))
    {
        FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets_) == 0);
        FUZZ_CHECK(::write(sockets_[1], data, size_) == static_cast<ssize_t>(size_));
        ::shutdown(sockets_[1], SHUT_WR);
    }
    ~StreamFromInput()
    {
        ::close(sockets_[0]);
        ::close(sockets_[1]);
    }
    StreamFromInput(const StreamFromInput&) = delete;
    StreamFromInput& operator=(const StreamFromInput&) = delete;

    int socket() const { return sockets_[0]; }
    size_t size() const { return size_; }

private:
    size_t size_;
    int sockets_[2] = {-1, -1};
};
