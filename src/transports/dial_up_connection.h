#pragma once
#include "base/controller_state.h"
#include "transports/dial_up_dialer.h"

#include <QObject>

class FormView;
class TApdWinsockPort;

// The configured dial-up connection: brought up before the network is used,
// found when another program brought it up, and hung up at exit only when
// Corvane dialled it.
class DialUpConnection : public QObject {
    Q_OBJECT
public:
    DialUpConnection(ControllerState& state, FormView& view, TApdWinsockPort& port, QObject* parent = nullptr);

    bool IsDialUpConnectionEstablished();
    // Throws ClaimError with the text for people when the dial fails.
    void EstablishDialUpConnection();
    // The relay's request, run on the main thread.
    void MxEstablishDialUpConnection();
    // Part of the main window's end; errors are ignored.
    void HangUpAtExit();

    DialUpDialer& Dialer() { return ApdRasDialer; }

private:
    void ApdRasDialerConnected();
    void ApdRasDialerDialError(int code);
    void ApdRasDialerDialStatus(int state);
    void ApdRasDialerDisconnected();

    ControllerState& state_;
    FormView& view_;
    TApdWinsockPort& port_;
    DialUpDialer ApdRasDialer;
};
