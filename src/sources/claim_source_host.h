#pragma once
#include "base/controller_state.h"

#include <string>

// What a claim source (the claim-file passes, the serial modem and its VISA
// exchange) needs from the dispatch controller that owns it.
class ClaimSourceHost {
public:
    virtual ~ClaimSourceHost() = default;
    virtual ControllerState& State() = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // Runs pending window messages once, so Cancel and port events get through.
    virtual void ProcessMessages() = 0;
    // The switch port (socket to the relay, or the modem line) is open.
    virtual bool IsSwitchPortOpen() = 0;
    // Connects the switch port; throws ClaimError with a text for people.
    virtual void ConnectToSwitch() = 0;
    // Sends one claim; negative result on failure, response filled on success.
    virtual int SndBuf(const std::string& claim, std::string& response) = 0;
    // The switch port is open or the relay thread runs.
    virtual bool IsSwitchConnectionOpen() = 0;
    virtual void CloseSwitchConnection() = 0;
    // The standard error box, for an error that leaves the timer handler.
    virtual void ShowError(const std::string& text) = 0;
    // Polling has stopped until the user starts the source again: says so,
    // and where nobody attends the machine, starts it again after a pause.
    virtual void WaitForUser(const std::string& reason) = 0;
};
