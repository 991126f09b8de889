#include "load_summary.h"

#include "base/format_text.h"

#include <algorithm>
#include <cmath>

double Percentile(std::vector<double> values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t rank = static_cast<size_t>(std::ceil(q * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

std::string LoadSummary(const std::vector<ConnectionResult>& results, double seconds)
{
    int ok = 0;
    int failed = 0;
    std::vector<double> latencies;
    for (const ConnectionResult& r : results) {
        ok += r.succeeded;
        failed += r.failed;
        latencies.insert(latencies.end(), r.latenciesMs.begin(), r.latenciesMs.end());
    }
    double rate = seconds > 0 ? ok / seconds : 0;
    return FormatText("claims=%d ok=%d failed=%d seconds=%.3f rate=%.0f/s p50=%.2fms p99=%.2fms",
                      ok + failed, ok, failed, seconds, rate, Percentile(latencies, 0.50),
                      Percentile(latencies, 0.99));
}
