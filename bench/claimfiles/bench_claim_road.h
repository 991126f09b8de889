#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What one run of the claim-file road measured. Times count from the start
// of the pass that sent the first claim.
struct RoadResult {
    int files = 0;
    int responses = 0;
    int relayStarts = 0;
    double secondsToLast = 0;
    double meanToResponseMs = 0;
    double firstResponseMs = 0;
    // Steady state: the gap between consecutive responses of one pass.
    double perClaimMs = 0;
    // From the last response until the pass is over and the relay stopped.
    double passCloseMs = 0;
    std::vector<std::string> problems;
};

// Points this process's settings, HOME and XDG folders into folder, so that
// nothing touches the user's own files. Call before anything reads settings.
void UsePrivateSettings(const std::string& folder);

// The claim-file road in this process: controller, claim-file data source and
// the relay thread it starts, Twofish upstream to the switch on switchPort.
void WriteRoadSettings(std::uint16_t switchPort);

// Drops `files` claim files into a fresh folder under workFolder, opens the
// claim-file data source and waits until every claim has its response.
RoadResult RunClaimFiles(const std::string& workFolder, int files);
