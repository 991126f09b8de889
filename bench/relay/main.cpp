// bench_relay: claims per second and latency through the relay against the
// same load straight to the switch simulator, and the relay's CPU time while
// it holds idle connections.
#include "bench_programs.h"
#include "bench_relay_setup.h"

#include <QTemporaryDir>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int totalClaimsPerCase = 4000;
constexpr int idleConnections = 100;
constexpr int idleSeconds = 10;

bool CompareCase(std::uint16_t relayPort, std::uint16_t switchPort, int clients)
{
    int claims = totalClaimsPerCase / clients;
    auto viaRelay = RunPharmacyLoad(relayPort, clients, claims);
    auto direct = RunPharmacyLoad(switchPort, clients, claims);
    if (!viaRelay || !direct) {
        std::printf("relay clients=%d failed (%s)\n", clients, viaRelay ? "direct" : "via relay");
        return false;
    }
    std::printf("relay clients=%d via_relay=%.0f/s p50=%.2fms p99=%.2fms direct=%.0f/s p50=%.2fms "
                "p99=%.2fms ratio=%.2f\n",
                clients, viaRelay->claimsPerSecond, viaRelay->p50Ms, viaRelay->p99Ms, direct->claimsPerSecond,
                direct->p50Ms, direct->p99Ms, viaRelay->claimsPerSecond / direct->claimsPerSecond);
    return true;
}

double ProcessCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The relay thread is the only busy thread of this process while the
// connections sit idle, so the process CPU time is the relay's.
void MeasureIdleCpu(std::uint16_t relayPort)
{
    std::vector<int> sockets;
    for (int i = 0; i < idleConnections; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(relayPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            sockets.push_back(fd);
        else
            ::close(fd);
    }
    double before = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    double used = ProcessCpuSeconds() - before;
    std::printf("relay idle connections=%zu seconds=%d cpu=%.3fs (%.2f%%)\n", sockets.size(), idleSeconds, used,
                100.0 * used / idleSeconds);
    for (int fd : sockets)
        ::close(fd);
}

}  // namespace

int main()
{
    QTemporaryDir home;
    SwitchSimulator simulator;
    if (!home.isValid() || simulator.port() == 0) {
        std::fprintf(stderr, "bench_relay: the switch simulator did not start\n");
        return 1;
    }
    BenchRelay relay(home.path().toStdString(), simulator.port());
    if (!relay.start()) {
        std::fprintf(stderr, "bench_relay: the relay did not start\n");
        return 1;
    }
    bool allRight = true;
    for (int clients : {1, 10, 100})
        allRight = CompareCase(relay.port(), simulator.port(), clients) && allRight;
    MeasureIdleCpu(relay.port());
    return allRight ? 0 : 1;
}
