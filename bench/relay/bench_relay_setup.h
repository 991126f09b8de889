#pragma once
#include "relay/mx_thread.h"

#include <cstdint>
#include <memory>
#include <string>

// The relay thread of this process, configured through a private settings
// file: socket-port data source, Tuq Header framing without Twofish on a
// free loopback port, one persistent plain-TCP upstream connection to the
// switch, no idle or network logging.
class BenchRelay {
public:
    BenchRelay(const std::string& folder, std::uint16_t switchPort);
    ~BenchRelay();

    // Starts the thread and waits for its start notification.
    bool start();
    std::uint16_t port() const { return port_; }

private:
    std::uint16_t port_ = 0;
    std::unique_ptr<TMxSockThread> thread_;
};
