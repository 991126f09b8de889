#pragma once
#include "base/controller_state.h"
#include "base/twofish.h"
#include "ports/comm_port.h"
#include "transports/modem_route.h"

#include <QObject>
#include <functional>
#include <memory>
#include <string>

class FormView;

// The main window's side of the switch: the port ApdComPort as a TCP client
// of the relay's inbound port, the connection set-up with its three attempts,
// and the framed claim exchange over it.
class SwitchConnection : public QObject {
    Q_OBJECT
public:
    using StartRelay = std::function<bool(bool wait)>;

    SwitchConnection(ControllerState& state, FormView& view, StartRelay startRelay, QObject* parent = nullptr);
    ~SwitchConnection() override;

    // Throw ClaimError with a text for people when no connection comes up.
    void ConnectToSwitch();
    void WinSockConnect();

    // 0 with the decrypted reply, or -1 (reply as the failure leaves it).
    int SocketExchange(const std::string& claim, std::string& reply);

    // Waits at most `seconds` for one byte; false on time-out, cancel, port
    // error or an exception.
    bool ReadCharTimed(TApdWinsockPort& port, int seconds, char& c);

    bool IsPortOpen() const { return ApdComPort.Open(); }
    // The timer trigger of a connect attempt is on the port.
    bool HasConnectTrigger() const { return connectTimerHandle_ != 0; }
    bool IsSocketMode() const { return ApdComPort.DeviceLayer() == dlWinsock; }
    // Closes the socket to the relay and releases both Twofish contexts.
    void CloseSocket();

    // Run before the socket connect: brings dial-up networking up when it
    // is selected and down (may throw ClaimError).
    void SetDialUpStep(std::function<void()> step) { dialUpStep_ = std::move(step); }

    TApdWinsockPort ApdComPort;

    ModemRoute& Modem() { return modem_; }

signals:
    // The port to the relay reported an error (after the state has it).
    void SocketErrorReported();

private:
    void LocalConnect();
    void AimPortAtRelay();
    // Forgets the last attempt's connect, port error and time-out.
    void ClearConnectOutcome();
    bool AttemptConnect(int attempt, int timeout);
    void ThrowUnlessConnected();
    bool SendRecord(const std::string& record, std::string& reply);
    bool ReadHeader(int wait, std::string& header, std::string& reply);
    void ApdComPortWsConnect();
    void ApdComPortWsDisconnect();
    void ApdComPortWsError(int errCode);
    void ApdComPortTriggerTimer(quint16 handle);
    void WaitForAttemptEnd();
    void RemoveConnectTrigger();
    bool StopRequested() const { return state_.cancelRequested || state_.switchError != 0; }

    ControllerState& state_;
    FormView& view_;
    StartRelay startRelay_;
    std::function<void()> dialUpStep_;
    std::unique_ptr<TwofishContext> TwofishEncoder;
    std::unique_ptr<TwofishContext> TwofishDecoder;
    quint16 connectTimerHandle_ = 0;  // the timer trigger of the attempt under way
    ModemRoute modem_;
};

// The process-wide claim sequence: 1 to 99999999, then 1 again.
long NextClaimSequence();
void SetClaimSequenceForTests(long value);
