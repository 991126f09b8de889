#pragma once
#include <QProcess>

#include <cstdint>
#include <optional>

// tuq-switch-sim with Twofish on a free loopback port, answering at once;
// stopped with SIGTERM on destruction.
class BenchSwitch {
public:
    BenchSwitch();
    ~BenchSwitch();
    // The port it listens on, or 0 when it did not start.
    std::uint16_t port() const { return port_; }

private:
    QProcess process_;
    std::uint16_t port_ = 0;
};

// The switch's own median time per claim: pharmacy-sim sends claims one after
// the other straight to the switch in its upstream frame with Twofish.
// Nothing when any claim went wrong.
std::optional<double> SwitchDirectP50Ms(std::uint16_t port, int claims);
