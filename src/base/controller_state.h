#pragma once
#include <cstdint>

// The state that every claim-handling unit shares with the dispatch
// controller. It lives on the main thread only.
struct ControllerState {
    bool cancelRequested = false;  // the current operation must stop
    int32_t failureCount = 0;      // consecutive failed claim-file passes
    bool failureCounted = false;   // the current pass (or serial claim) failed
    bool filePassBusy = false;     // a claim-file pass is running
    bool switchConnected = false;  // the switch port reports a connection
    int16_t switchError = 0;       // last switch port error; 0 none
    bool connectTimedOut = false;  // the connect timer trigger fired
    bool connectInProgress = false;

    // Adds this pass's failure once.
    void CountFailure()
    {
        if (!failureCounted) {
            ++failureCount;
            failureCounted = true;
        }
    }
};
