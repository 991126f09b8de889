#pragma once
#include "base/controller_state.h"
#include "ports/comm_port.h"
#include "transports/tapi_device.h"

#include <QObject>
#include <QTimer>
#include <string>

class FormView;

// The switch by telephone: dials the switch's modem pool through the
// telephony device, waits for its ENQ, and exchanges each claim and
// response in VISA II framing (STX, text, ETX, LRC; ACK, NAK, ENQ, EOT)
// over ApdComPort. Serves the main window's own claims and, through
// MxSendViaTapi, the relay's. Main thread only; one exchange at a time.
class ModemRoute : public QObject {
    Q_OBJECT
public:
    ModemRoute(ControllerState& state, FormView& view, TApdWinsockPort& comPort, QObject* parent = nullptr);

    // Returns once the call is up and the switch has sent ENQ; throws
    // ClaimError with a text for people otherwise.
    void TapiConnect();
    // 0 with the response, or -1 (the response as far as it came).
    int VisaSendViaModem(const std::string& claim, std::string& response);
    // The relay's hand-over; true when the claim was answered.
    bool MxSendViaTapi(const std::string& claim, std::string& response);
    void TapiTimerTimer();
    // EOT on the open line, then the call is dropped.
    void CloseCall();
    bool IsCallActive() const { return device_.TapiState() != tsIdle; }

    TApdTapiDevice& Device() { return device_; }
    void SetTapiTimerInterval(int milliseconds) { tapiTimer_.setInterval(milliseconds); }

private:
    void CheckDialSettings(const std::string& device, const std::string& number);
    void DialAndWait(const std::string& device, const std::string& number);
    void Synchronise();
    // One pass of writing the frame and reading the answer; -1 ends the
    // exchange, 0 succeeds, 1 goes round again.
    int ExchangeOnce(const std::string& frame, bool& answered, std::string& response);
    int AwaitResponseStart(const std::string& frame);
    int ReadResponse(std::string& response);
    bool ReadChar(int seconds, char& c);
    bool Write(const std::string& bytes, const char* failureFormat);

    void ApdTapiDeviceTapiFail();
    void ApdTapiDeviceTapiLog(int code);
    void ApdTapiDeviceTapiPortOpen();
    void ApdTapiDeviceTapiPortClose();
    void ApdTapiDeviceTapiStatus(bool first, bool last, int device, int message, int param1, int param2,
                                 int param3);

    ControllerState& state_;
    FormView& view_;
    TApdWinsockPort& comPort_;
    TApdTapiDevice device_;
    QTimer tapiTimer_;
    bool tapiFailed_ = false;
    bool tapiPortClosed_ = false;
    bool exchangeBusy_ = false;
};
