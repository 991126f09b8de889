// bench_relay: claims per second and latency through the relay against the
// same load through haproxy (TCP mode, one thread) and straight to the
// switch simulator, and what the relay costs while it holds thousands of
// idle connections.
#include "bench_programs.h"
#include "bench_relay_setup.h"
#include "haproxy_proxy.h"
#include "held_connections.h"

#include <QTemporaryDir>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int claimsPerRun = 24000;
constexpr int repetitions = 3;
constexpr int pipelinedOutstanding = 100;
constexpr int heldConnections = 5000;
constexpr int idleSeconds = 10;

// The client ends of the held connections live in this process too.
void RaiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    rlim_t wanted = 2 * heldConnections + 256;
    if (limit.rlim_max != RLIM_INFINITY)
        wanted = std::min(wanted, limit.rlim_max);
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = wanted;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One column of a case: the runs of one road, summarised by their medians.
struct Column {
    std::uint16_t port = 0;  // 0: the road is missing
    std::vector<LoadResult> runs;

    double rate() const { return Median(pick(&LoadResult::claimsPerSecond)); }
    double p50() const { return Median(pick(&LoadResult::p50Ms)); }
    double p99() const { return Median(pick(&LoadResult::p99Ms)); }
    double slowestRate() const
    {
        auto rates = pick(&LoadResult::claimsPerSecond);
        return *std::min_element(rates.begin(), rates.end());
    }
    std::vector<double> pick(double LoadResult::*field) const
    {
        std::vector<double> values;
        for (const LoadResult& run : runs)
            values.push_back(run.*field);
        return values;
    }
};

std::string Describe(const char* name, const Column& column)
{
    char text[160];
    if (column.runs.empty())
        std::snprintf(text, sizeof text, "%s=missing", name);
    else
        std::snprintf(text, sizeof text, "%s=%.0f/s %s_p50=%.2fms %s_p99=%.2fms", name, column.rate(), name,
                      column.p50(), name, column.p99());
    return text;
}

std::string Ratio(const char* name, const Column& relay, const Column& anchor)
{
    char text[64];
    if (anchor.runs.empty())
        std::snprintf(text, sizeof text, "%s=missing", name);
    else
        std::snprintf(text, sizeof text, "%s=%.2f", name, relay.rate() / anchor.rate());
    return text;
}

// The three roads take turns, so that a noisy moment on this shared
// machine falls on all of them alike.
bool CompareCase(std::uint16_t relayPort, std::uint16_t haproxyPort, std::uint16_t switchPort, int clients)
{
    Column relay{relayPort, {}};
    Column haproxy{haproxyPort, {}};
    Column direct{switchPort, {}};
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        for (auto [name, column] : {std::pair{"direct", &direct}, {"haproxy", &haproxy}, {"via_relay", &relay}}) {
            if (column->port == 0)
                continue;
            auto result = RunPharmacyLoad(column->port, clients, claimsPerRun / clients);
            if (!result) {
                std::printf("relay clients=%d failed (%s)\n", clients, name);
                return false;
            }
            column->runs.push_back(*result);
        }
    }
    std::printf("relay clients=%d %s %s %s %s %s via_relay_slowest=%.0f/s\n", clients,
                Describe("via_relay", relay).c_str(), Describe("haproxy", haproxy).c_str(),
                Describe("direct", direct).c_str(), Ratio("ratio_haproxy", relay, haproxy).c_str(),
                Ratio("ratio_direct", relay, direct).c_str(), relay.slowestRate());
    return true;
}

// The relay keeps many claims outstanding on its one switch connection; the
// simulator must carry that faster than the relay, or the relay's column
// measures the simulator.
bool MeasurePipelinedSwitch(std::uint16_t switchPort)
{
    auto result = RunPharmacyLoad(switchPort, 1, claimsPerRun,
                                  {"--outstanding", QString::number(pipelinedOutstanding)});
    if (!result) {
        std::printf("relay switch_pipelined failed\n");
        return false;
    }
    std::printf("relay switch_pipelined connections=1 outstanding=%d rate=%.0f/s p50=%.2fms p99=%.2fms\n",
                pipelinedOutstanding, result->claimsPerSecond, result->p50Ms, result->p99Ms);
    return true;
}

}  // namespace

int main()
{
    // One line at a time, also into a pipe: the runs take a while.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    RaiseOpenFileLimit();
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
    HaproxyProxy haproxy(home.path(), simulator.port());
    if (haproxy.port() == 0)
        std::printf("relay haproxy column missing: %s\n", qPrintable(haproxy.missing()));

    bool allRight = MeasurePipelinedSwitch(simulator.port());
    for (int clients : {1, 10, 100})
        allRight = CompareCase(relay.port(), haproxy.port(), simulator.port(), clients) && allRight;
    allRight = MeasureHeldConnections(relay.port(), heldConnections, idleSeconds) && allRight;
    return allRight ? 0 : 1;
}
