#pragma once
#include "ports/comm_port.h"
#include "transports/modem_config.h"

#include <QObject>
#include <QTimer>
#include <string>

enum TTapiState { tsIdle, tsDialing, tsConnected, tsHangingUp };

// Call-progress codes of OnTapiLog.
enum TTapiLogCode {
    ltapiNone,
    ltapiCallStart,
    ltapiCallFinish,
    ltapiDial,
    ltapiAccept,
    ltapiAnswer,
    ltapiConnect,
    ltapiCancel,
    ltapiDrop,
    ltapiBusy,
    ltapiDialFail,
    ltapiReceivedDigit,
};

// Call-state messages of OnTapiStatus; TapiStatusMsg gives their text.
enum TTapiStatusMessage { tmsOpening, tmsDialing, tmsConnected, tmsBusy, tmsNoConnection, tmsRedial, tmsDropped };

// A telephony line device made of a Hayes modem on a serial device: resets
// and initialises the modem, dials, reads its result codes, redials after a
// failure, and hands the connected line to ComPort (TapiMode tmOn). The call
// ends with CancelCall (escape, ATH0, DTR low) or when the modem drops
// carrier. Everything is asynchronous on the main thread; the outcome comes
// as signals.
class TApdTapiDevice : public QObject {
    Q_OBJECT
public:
    explicit TApdTapiDevice(QObject* parent = nullptr);
    ~TApdTapiDevice() override;

    void SetComPort(TApdWinsockPort* port) { comPort_ = port; }
    // A name of ModemDeviceNames(): COM<n>, a /dev path.
    void SetSelectedDevice(const std::string& name) { deviceName_ = name; }
    // The TapiConfig block's text.
    void SetDevConfig(const std::string& block) { config_ = ModemConfig::Parse(block); }
    void SetMaxAttempts(int attempts) { maxAttempts_ = attempts < 1 ? 1 : attempts; }
    void SetRetryWait(int seconds) { retryWaitSeconds_ = seconds < 0 ? 0 : seconds; }
    // How long the modem may take to answer a command and a dial, and the
    // escape guard time; shorter in tests.
    void SetTimeouts(int commandMs, int dialMs, int guardMs);

    // Starts the call; the outcome arrives as OnTapiPortOpen or OnTapiFail.
    void Dial(const std::string& number);
    // Drops the call or stops the dialling; true when it is over at once.
    bool CancelCall();
    TTapiState TapiState() const { return state_; }

    static std::string TapiStatusMsg(int message, int param1, int param2);

signals:
    void OnTapiPortOpen();
    void OnTapiPortClose();
    void OnTapiFail();
    void OnTapiLog(int code);
    void OnTapiStatus(bool first, bool last, int device, int message, int param1, int param2, int param3);

private:
    void StartAttempt();
    bool OpenLine();
    void SendNextCommand();
    void LineAvail(int count);
    void HandleResult(const std::string& line);
    void Connected();
    void AttemptFailed(int logCode, int statusMessage);
    void CommandTimedOut();
    void CloseLine();
    void EndCall(int logCode);
    void ComPortStatus(quint16 handle);
    // Takes the line back from ComPort and hangs the modem up.
    void HangUpConnectedLine();
    bool WaitForResult(const std::string& result, int ms);
    void Status(int message, int param1 = 0);

    TApdWinsockPort* comPort_ = nullptr;
    TApdWinsockPort line_;
    QTimer commandTimer_;
    QTimer redialTimer_;
    std::string deviceName_;
    ModemConfig config_;
    int maxAttempts_ = 1;
    int retryWaitSeconds_ = 1;
    int commandMs_ = 5000;
    int dialMs_ = 90000;
    int guardMs_ = 1100;

    TTapiState state_ = tsIdle;
    std::string number_;
    int attempt_ = 0;
    std::vector<std::string> commands_;  // still to send in this attempt
    bool dialSent_ = false;
    std::string received_;               // modem output not yet taken as lines
    quint16 carrierTrigger_ = 0;
};
