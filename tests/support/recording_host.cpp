#include "recording_host.h"

#include "base/claim_error.h"

#include <algorithm>

ControllerState& RecordingHost::State()
{
    return state;
}

void RecordingHost::SetStatusText(const std::string& text)
{
    statuses.push_back(text);
}

void RecordingHost::ProcessMessages()
{
}

bool RecordingHost::IsSwitchPortOpen()
{
    return portOpen;
}

void RecordingHost::ConnectToSwitch()
{
    ++connectAttempts;
    state.connectInProgress = true;
    if (connectError)
        throw ClaimError(*connectError);
    portOpen = true;
    state.switchConnected = true;
}

int RecordingHost::SndBuf(const std::string& claim, std::string& response)
{
    sentClaims.push_back(claim);
    Reply reply{0, "OK"};
    if (!replies.empty()) {
        reply = replies.front();
        replies.pop_front();
    }
    if (reply.loseConnection)
        state.switchConnected = false;
    if (reply.cancel)
        state.cancelRequested = true;
    response = reply.response;
    return reply.result;
}

bool RecordingHost::IsSwitchConnectionOpen()
{
    return portOpen;
}

void RecordingHost::CloseSwitchConnection()
{
    portOpen = false;
    state.switchConnected = false;
}

void RecordingHost::ShowError(const std::string& text)
{
    errors.push_back(text);
}

void RecordingHost::WaitForUser(const std::string& reason)
{
    waits.push_back(reason);
}

bool RecordingHost::SawStatus(const std::string& text) const
{
    return std::find(statuses.begin(), statuses.end(), text) != statuses.end();
}

std::string RecordingHost::LastStatus() const
{
    return statuses.empty() ? std::string() : statuses.back();
}
