#include "socket_load.h"

#include "claim_connection.h"
#include "load_summary.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

int RunSocketLoad(const SocketLoadOptions& options)
{
    std::vector<ConnectionResult> results(static_cast<size_t>(options.connections));
    std::vector<std::thread> threads;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < options.connections; ++i)
        threads.emplace_back([&options, &results, i] {
            results[static_cast<size_t>(i)] = ClaimConnection(options, i + 1).run();
        });
    for (std::thread& t : threads)
        t.join();
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

    bool allRight = true;
    for (size_t i = 0; i < results.size(); ++i) {
        if (results[i].failed == 0)
            continue;
        allRight = false;
        std::fprintf(stderr, "pharmacy-sim: connection %zu: %s\n", i + 1, results[i].error.c_str());
    }
    std::printf("%s\n", LoadSummary(results, elapsed.count()).c_str());
    return allRight ? 0 : 1;
}
