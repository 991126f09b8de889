#pragma once
#include <QProcess>
#include <QStringList>

#include <cstdint>
#include <optional>

// The simulators, run from the folder of this program (build/bin).
QString ProgramPath(const char* name);

// tuq-switch-sim on a free loopback port; stopped with SIGTERM on destruction.
class SwitchSimulator {
public:
    SwitchSimulator();
    ~SwitchSimulator();
    // The port it listens on, or 0 when it did not start.
    std::uint16_t port() const { return port_; }

private:
    QProcess process_;
    std::uint16_t port_ = 0;
};

struct LoadResult {
    double claimsPerSecond = 0;
    double p50Ms = 0;
    double p99Ms = 0;
};

// Runs pharmacy-sim (Tuq Header framing, paid replies expected) against
// port; nothing when it failed or any claim went wrong.
std::optional<LoadResult> RunPharmacyLoad(std::uint16_t port, int clients, int claimsPerClient);
