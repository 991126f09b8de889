// bench_claimfiles: the claim-file road in one process (controller, claim-file
// data source, relay thread) against the switch simulator answering at once:
// how long claim files wait for their responses, and what each claim costs on
// top of the switch's own time.
#include "bench_claim_road.h"
#include "bench_programs.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int directClaims = 200;

bool Report(const RoadResult& result, double switchP50Ms)
{
    std::printf("claimfiles files=%d responses=%d relay_starts=%d seconds=%.3f rate=%.1f/s "
                "mean_to_response=%.1fms first_response=%.1fms per_claim=%.2fms switch_direct_p50=%.2fms "
                "overhead_per_claim=%.2fms pass_close=%.0fms\n",
                result.files, result.responses, result.relayStarts, result.secondsToLast,
                result.secondsToLast > 0 ? result.responses / result.secondsToLast : 0.0, result.meanToResponseMs,
                result.firstResponseMs, result.perClaimMs, switchP50Ms, result.perClaimMs - switchP50Ms,
                result.passCloseMs);
    std::fflush(stdout);
    for (const std::string& problem : result.problems)
        std::fprintf(stderr, "bench_claimfiles: files=%d: %s\n", result.files, problem.c_str());
    return result.problems.empty() && result.responses == result.files;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "bench_claimfiles: no temporary folder\n");
        return 1;
    }
    UsePrivateSettings(home.path().toStdString());
    SwitchSimulator simulator({"--twofish"});
    if (simulator.port() == 0) {
        std::fprintf(stderr, "bench_claimfiles: the switch simulator did not start\n");
        return 1;
    }
    // The switch's own median time per claim, claims sent one after the other.
    std::optional<LoadResult> direct = RunPharmacyLoad(simulator.port(), 1, directClaims, {"--twofish"});
    if (!direct) {
        std::fprintf(stderr, "bench_claimfiles: claims straight to the switch simulator failed\n");
        return 1;
    }
    WriteRoadSettings(simulator.port());

    bool allRight = true;
    for (int files : {200, 20})
        allRight = Report(RunClaimFiles(home.path().toStdString(), files), direct->p50Ms) && allRight;
    return allRight ? 0 : 1;
}
