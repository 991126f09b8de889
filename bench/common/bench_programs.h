#pragma once
#include <QProcess>
#include <QStringList>

#include <cstdint>
#include <optional>

// The simulators, run from the folder of this program (build/bin).
QString ProgramPath(const char* name);

// A loopback port that was free a moment ago, or 0 when none was found.
std::uint16_t FreeLoopbackPort();

// A connected socket to 127.0.0.1:port, or -1.
int ConnectLoopback(std::uint16_t port);

// tuq-switch-sim on a free loopback port, answering at once, with the extra
// options given; stopped with SIGTERM on destruction.
class SwitchSimulator {
public:
    explicit SwitchSimulator(const QStringList& options = {});
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

// Runs pharmacy-sim (Tuq Header framing, paid replies expected, plus the
// extra options given) against port; nothing when it failed or any claim
// went wrong.
std::optional<LoadResult> RunPharmacyLoad(std::uint16_t port, int clients, int claimsPerClient,
                                          const QStringList& options = {});
// Runs pharmacy-sim with these arguments; nothing when it failed.
std::optional<LoadResult> RunPharmacy(const QStringList& arguments);
