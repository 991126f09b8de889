#pragma once
#include "sources/claim_source_host.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

// The controller as a claim source sees it: connects unless told to fail,
// answers each claim from a script, and records what the pass did.
class RecordingHost : public ClaimSourceHost {
public:
    struct Reply {
        int result = 0;
        std::string response;
        bool loseConnection = false;  // the port reports the connection gone
        bool cancel = false;          // the user clicked Cancel meanwhile
    };

    ControllerState& State() override;
    void SetStatusText(const std::string& text) override;
    void ProcessMessages() override;
    bool IsSwitchPortOpen() override;
    void ConnectToSwitch() override;
    int SndBuf(const std::string& claim, std::string& response) override;
    bool IsSwitchConnectionOpen() override;
    void CloseSwitchConnection() override;
    void ShowError(const std::string& text) override;
    void WaitForUser(const std::string& reason) override;

    bool SawStatus(const std::string& text) const;
    std::string LastStatus() const;

    ControllerState state;
    std::optional<std::string> connectError;  // ConnectToSwitch throws this
    std::deque<Reply> replies;                // empty: every claim gets "OK"
    std::vector<std::string> statuses;
    std::vector<std::string> sentClaims;
    std::vector<std::string> errors;
    std::vector<std::string> waits;
    int connectAttempts = 0;
    bool portOpen = false;
};
