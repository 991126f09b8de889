#pragma once
#include <string>
#include <vector>

// What one connection (or one serial run) achieved.
struct ConnectionResult {
    int succeeded = 0;
    int failed = 0;
    std::vector<double> latenciesMs;  // one per right reply
    std::string error;                // what stopped the connection, if anything
};

// The one-line result of a load run, e.g.
// "claims=1000 ok=1000 failed=0 seconds=0.412 rate=2427/s p50=0.38ms p99=1.12ms".
std::string LoadSummary(const std::vector<ConnectionResult>& results, double seconds);

// The value at fraction q (0..1) of the sorted values, nearest rank; 0 when empty.
double Percentile(std::vector<double> values, double q);
