#include "transports/dial_up_connection.h"

#include "base/claim_error.h"
#include "base/form_view.h"
#include "base/format_text.h"
#include "base/general_log.h"
#include "config/settings.h"
#include "ports/comm_port.h"
#include "ports/port_ticks.h"
#include "ports/pumped_wait.h"

#include <algorithm>

DialUpConnection::DialUpConnection(ControllerState& state, FormView& view, TApdWinsockPort& port,
                                   QObject* parent)
    : QObject(parent)
    , state_(state)
    , view_(view)
    , port_(port)
{
    connect(&ApdRasDialer, &DialUpDialer::OnConnected, this, &DialUpConnection::ApdRasDialerConnected);
    connect(&ApdRasDialer, &DialUpDialer::OnDialError, this, &DialUpConnection::ApdRasDialerDialError);
    connect(&ApdRasDialer, &DialUpDialer::OnDialStatus, this, &DialUpConnection::ApdRasDialerDialStatus);
    connect(&ApdRasDialer, &DialUpDialer::OnDisconnected, this, &DialUpConnection::ApdRasDialerDisconnected);
}

bool DialUpConnection::IsDialUpConnectionEstablished()
{
    int connectState = 0;
    try {
        connectState = ApdRasDialer.ConnectState();
    } catch (const std::exception&) {
        LogMsg("IsDialUpConnectionEstablished: RAS threw an exception.");
        return false;
    }
    const std::string name = GetDialUpConnection();
    if (connectState == kDialUpConnected) {
        if (ApdRasDialer.EntryName() == name) {
            LogMsg("Dial-Up connection '%s' was established by this application.", name.c_str());
            return true;
        }
        if (ApdRasDialer.EntryName().empty()) {
            std::vector<std::string> connections;
            int error = ApdRasDialer.ListConnections(connections);
            if (error != 0) {
                LogMsg("Error returned trying to retrieve RAS connections.");
                LogMsg("  RAS Error:  %s", DialUpDialer::GetErrorText(error).c_str());
            } else if (std::find(connections.begin(), connections.end(), name) != connections.end()) {
                LogMsg("Dial-Up connection '%s' already established apparently by another application.",
                       name.c_str());
                return true;
            }
        }
    }
    LogMsg("Dial-Up connection '%s' has NOT been established.", name.c_str());
    return false;
}

void DialUpConnection::EstablishDialUpConnection()
{
    if (IsDialUpConnectionEstablished())
        return;
    port_.SetDeviceLayer(dlWinsock);
    port_.SetTapiMode(tmOff);

    const std::string name = GetDialUpConnection();
    if (ApdRasDialer.ConnectState() == kDialUpConnected) {
        LogMsg("Hanging up existing Dial-Up connection.");
        ApdRasDialer.Hangup();
        LogMsg("After calling Hangup.");
        LogMsg("Pausing three seconds before allowing RAS to dial.");
        DelayTicks(Secs2Ticks(3), true);
    }

    ApdRasDialer.SetEntryName(name);
    ApdRasDialer.UserName = GetDialUpUser();
    ApdRasDialer.Password = GetDialUpPwd();
    ApdRasDialer.Domain = GetDialUpDomain();
    ApdRasDialer.PhoneNumber = GetDialUpPhone();

    LogMsg("Dialing '%s' Dial-Up connection.", name.c_str());
    view_.SetStatusText(QString::fromStdString("Connecting to Tuq Network via '" + name + "' Dial-Up connection..."));
    ProcessPendingEvents();

    int error = ApdRasDialer.Dial([this] { return state_.cancelRequested; });
    if (error != 0) {
        std::string text = DialUpDialer::GetErrorText(error);
        LogMsg("Dial-Up connection error:  '%s'", text.c_str());
        throw ClaimError(FormatText("DialUp Networking error encountered:\n\n'%s'", text.c_str()));
    }
    LogMsg("Dial-Up connection successfully established.");
}

void DialUpConnection::MxEstablishDialUpConnection()
{
    LogMsg("Received MxEstablishDialUpConnection request.");
    if (IsDialUpSelected())
        EstablishDialUpConnection();
}

void DialUpConnection::HangUpAtExit()
{
    try {
        int connectState = ApdRasDialer.ConnectState();
        if (connectState != kDialUpConnected || ApdRasDialer.EntryName().empty())
            return;
        LogMsg("Before hangup, RAS ConnectState = %d, '%s'", connectState,
               DialUpDialer::GetStatusText(connectState).c_str());
        LogMsg("Hanging up RAS connection.");
        ApdRasDialer.Hangup();
        connectState = ApdRasDialer.ConnectState();
        LogMsg("After hangup, RAS ConnectState = %d, '%s'", connectState,
               DialUpDialer::GetStatusText(connectState).c_str());
    } catch (const std::exception&) {
        // Nothing is left to do about it while the program ends.
    }
}

void DialUpConnection::ApdRasDialerConnected()
{
    LogMsg("RAS connection has been established.");
}

void DialUpConnection::ApdRasDialerDialError(int code)
{
    LogMsg("Encountered RAS dial error:  '%s'", DialUpDialer::GetErrorText(code).c_str());
}

void DialUpConnection::ApdRasDialerDialStatus(int state)
{
    LogMsg("RAS status:  '%s'", DialUpDialer::GetStatusText(state).c_str());
}

void DialUpConnection::ApdRasDialerDisconnected()
{
    LogMsg("RAS Disconnected.");
}
