#pragma once
#include "ports/port_device.h"
#include "ports/port_errors.h"
#include "ports/serial_line_device.h"
#include "ports/telnet_filter.h"

#include <QObject>
#include <QTimer>

#include <map>
#include <memory>
#include <string>
#include <vector>

enum TDeviceLayer { dlWin32, dlWinsock };
enum TTapiMode { tmAuto, tmOn, tmOff };

enum THWFlowOption : int {
    hwfUseDTR = 0x01,
    hwfUseRTS = 0x02,
    hwfRequireDSR = 0x04,
    hwfRequireCTS = 0x08,
};
using THWFlowOptions = int;

enum TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };

enum TStatusTriggerKind { stModem, stLine };

class SocketDevice;

// Something that shares a port's notifications ahead of the program's own
// handlers: packet matchers first, then the status lights.
enum class ListenerRank { PacketMatcher = 0, StatusLights = 1 };

class PortListener {
public:
    // Bytes are waiting; reads made here do not consume (see TApdWinsockPort).
    virtual void PortAvail(int /*count*/) {}
    virtual void PortStatus(quint16 /*handle*/) {}
    virtual void PortTimer(quint16 /*handle*/) {}
    // Bytes were put into the output buffer.
    virtual void PortWritten(int /*count*/) {}
    virtual void PortOpened() {}
    // The port is about to close; its triggers are about to go.
    virtual void PortClosing() {}

protected:
    ~PortListener() = default;
};

// A communications port bound to a serial line or a TCP connection, with its
// own input and output buffers and triggers. All calls are made on the main
// thread and every notification arrives from its event loop.
//
// Arrivals are shared: while a data-available notification runs, reads do not
// consume, so every listener and the OnTriggerAvail handler each start at the
// same first byte; afterwards the port drops as many bytes as the listener
// that read the most. Outside a notification, reads consume.
class TApdWinsockPort : public QObject {
    Q_OBJECT
public:
    explicit TApdWinsockPort(QObject* parent = nullptr);
    ~TApdWinsockPort() override;

    // Binding and line settings; assigned while closed, used at the next open.
    void SetDeviceLayer(TDeviceLayer layer);
    TDeviceLayer DeviceLayer() const { return deviceLayer_; }
    void SetTapiMode(TTapiMode mode);
    TTapiMode TapiMode() const { return tapiMode_; }
    void SetComNumber(int number);
    int ComNumber() const { return comNumber_; }
    // A device path to open instead of the one of ComNumber (a pty, a
    // null-modem end); empty to use ComNumber.
    void SetDevicePath(const std::string& path);
    std::string DevicePath() const { return devicePath_; }
    void SetBaud(int baud);
    int Baud() const { return line_.baud; }
    void SetParity(TParity parity);
    TParity Parity() const { return line_.parity; }
    void SetDataBits(int bits);
    int DataBits() const { return line_.dataBits; }
    void SetStopBits(int bits);
    int StopBits() const { return line_.stopBits; }
    void SetInSize(int size);
    int InSize() const { return inSize_; }
    void SetOutSize(int size);
    int OutSize() const { return outSize_; }
    void SetHWFlowOptions(THWFlowOptions options);
    THWFlowOptions HWFlowOptions() const { return hwFlow_; }
    void SetSWFlowOptions(TSWFlowOptions options);
    TSWFlowOptions SWFlowOptions() const { return swFlow_; }
    void SetBufferFull(int count);
    int BufferFull() const { return bufferFull_; }
    void SetBufferResume(int count);
    int BufferResume() const { return bufferResume_; }
    void SetXOnChar(unsigned char c);
    unsigned char XOnChar() const { return xOnChar_; }
    void SetXOffChar(unsigned char c);
    unsigned char XOffChar() const { return xOffChar_; }
    void SetWsAddress(const std::string& address);
    std::string WsAddress() const { return wsAddress_; }
    void SetWsPort(const std::string& port);
    std::string WsPort() const { return wsPort_; }
    // Telnet option processing on the socket stream; off by default, so
    // every byte passes unchanged.
    void SetWsTelnet(bool telnet);
    bool WsTelnet() const { return wsTelnet_; }

    // With TapiMode tmOn a serial port does not open a device itself: it takes
    // the open line handed over here (the port owns it from now on) and
    // adopts its speed, framing and flow control. alreadyRead: bytes the
    // dialler read from the line past the connect report; they come first.
    void AttachTapiLine(int fd, const std::string& alreadyRead = {});
    // Closes a serial port but leaves its line open, and returns the line's
    // descriptor (for handing a line to another port); -1 if none.
    int DetachLine();

    // Opening raises EPortError on failure and leaves the port closed. A
    // socket port returns at once; OnWsConnect or OnWsError follows.
    void SetOpen(bool open);
    bool Open() const { return device_ != nullptr; }
    bool Connected() const;

    // Output lines; set while closed they take effect at the next open.
    void SetDTR(bool level);
    bool DTR() const { return dtr_; }
    void SetRTS(bool level);
    bool RTS() const { return rts_; }

    // Modem status. Reading CTS or DSR, or its change flag, clears that
    // change flag.
    bool CTS();
    bool DSR();
    bool DCD();
    bool RI();
    bool DeltaCTS();
    bool DeltaDSR();
    // The levels without touching the change flags, and what the latest
    // status report of the line changed (for watchers such as status lights).
    ModemLevels PeekModemLevels() const;
    int LastModemChanges() const { return lastModemChanges_; }
    int LastLineConditions() const { return lastLineConditions_; }

    // Output: all or nothing; raises when the port is closed or the data does
    // not fit in the free output space.
    void PutChar(char c);
    void PutString(const std::string& bytes);
    void PutBlock(const char* bytes, int count);
    int OutBuffFree() const;
    int OutBuffUsed() const;

    // Input.
    bool CharReady() const;
    int InBuffUsed() const;
    char GetChar();
    // Exactly `count` bytes; raises EBufferIsEmpty when fewer are waiting.
    std::string GetBlock(int count);

    // Triggers: 16-bit handles, 0 is none. They belong to the open period in
    // which they were added and are discarded when the port closes; removing
    // a handle that no longer exists does nothing.
    quint16 AddStatusTrigger(TStatusTriggerKind kind);
    void SetStatusTrigger(quint16 handle, int mask, bool activate);
    quint16 AddTimerTrigger();
    void SetTimerTrigger(quint16 handle, int ticks, bool activate);
    void RemoveTrigger(quint16 handle);

    void AddListener(PortListener* listener, ListenerRank rank);
    void RemoveListener(PortListener* listener);

signals:
    void OnTriggerAvail(int count);
    void OnTriggerStatus(quint16 handle);
    void OnTriggerModemStatus();
    void OnTriggerTimer(quint16 handle);
    void OnWsConnect();
    void OnWsDisconnect();
    void OnWsError(int errCode);

private:
    struct Trigger {
        enum Kind { Timer, Modem, Line } kind = Timer;
        int mask = 0;
        bool armed = false;
        std::unique_ptr<QTimer> timer;
    };
    struct Listener {
        PortListener* listener;
        ListenerRank rank;
    };

    void RequireClosed(const char* what) const;
    void RequireOpen() const;
    std::unique_ptr<PortDevice> OpenDevice();
    std::unique_ptr<PortDevice> OpenSerialDevice();
    std::unique_ptr<PortDevice> OpenSocketDevice();
    std::string SerialDevicePath() const;
    void CloseDevice();
    void ApplyOutputLines();

    bool TelnetActive() const;
    void FillInput();
    void ScheduleAvail();
    void DispatchAvail();
    void Consume(int count);
    void CheckInputThrottle();
    void SendFlowChar(unsigned char c);
    bool TransmitHeld();
    void FlushOutput();

    void OnDeviceStatus(int modemChanges, int lineConditions);
    void FireStatusTrigger(quint16 handle, Trigger::Kind kind);
    void FireTimerTrigger(quint16 handle);
    quint16 NewHandle();
    std::vector<PortListener*> ListenersInOrder() const;
    bool StillListening(PortListener* listener) const;

    // Settings.
    TDeviceLayer deviceLayer_ = dlWin32;
    TTapiMode tapiMode_ = tmAuto;
    int comNumber_ = 0;
    std::string devicePath_;
    LineSettings line_;
    int inSize_ = 4096;
    int outSize_ = 4096;
    THWFlowOptions hwFlow_ = hwfUseRTS | hwfRequireCTS;
    TSWFlowOptions swFlow_ = swfNone;
    int bufferFull_ = 3686;
    int bufferResume_ = 409;
    unsigned char xOnChar_ = 17;
    unsigned char xOffChar_ = 19;
    std::string wsAddress_;
    std::string wsPort_ = "telnet";
    bool wsTelnet_ = false;
    int tapiLine_ = -1;
    QByteArray tapiLineInput_;

    // Open state.
    std::unique_ptr<PortDevice> device_;
    SerialLineDevice* serialDevice_ = nullptr;
    SocketDevice* socketDevice_ = nullptr;
    bool socketEnded_ = false;
    bool closing_ = false;
    quint64 openPeriod_ = 0;
    bool dtr_ = true;
    bool rts_ = true;
    bool inputThrottled_ = false;
    bool peerSentXOff_ = false;
    int deltas_ = 0;
    int lastModemChanges_ = 0;
    int lastLineConditions_ = 0;
    QByteArray input_;
    QByteArray output_;
    TelnetFilter telnet_;

    // Shared reads during a data-available notification.
    bool availScheduled_ = false;
    bool availAfterDispatch_ = false;
    bool dispatchingAvail_ = false;
    int sharedReadPos_ = 0;

    std::map<quint16, Trigger> triggers_;
    quint16 lastHandle_ = 0;
    std::vector<Listener> listeners_;
};
