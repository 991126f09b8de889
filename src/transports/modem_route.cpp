#include "transports/modem_route.h"

#include "base/control_chars.h"
#include "base/claim_error.h"
#include "base/form_view.h"
#include "base/general_log.h"
#include "config/settings.h"
#include "ports/port_ticks.h"
#include "ports/pumped_wait.h"
#include "base/lrc.h"
#include "transports/dial_up_modem_release.h"
#include "transports/read_char_timed.h"

namespace {

constexpr int kTapiTimerMs = 10000;
constexpr int kEnqWaitSeconds = 10;
constexpr int kResponseByteSeconds = 5;
constexpr int kNextEnqSeconds = 4;

enum ExchangeStep { kFailed = -1, kDone = 0, kAgain = 1 };

// Marks the call as in use for the length of one exchange.
class ExchangeScope {
public:
    explicit ExchangeScope(bool& busy) : busy_(busy) { busy_ = true; }
    ~ExchangeScope() { busy_ = false; }
    ExchangeScope(const ExchangeScope&) = delete;
    ExchangeScope& operator=(const ExchangeScope&) = delete;

private:
    bool& busy_;
};

}  // namespace

ModemRoute::ModemRoute(ControllerState& state, FormView& view, TApdWinsockPort& comPort, QObject* parent)
    : QObject(parent), state_(state), view_(view), comPort_(comPort)
{
    device_.SetComPort(&comPort_);
    tapiTimer_.setSingleShot(true);
    tapiTimer_.setInterval(kTapiTimerMs);
    connect(&tapiTimer_, &QTimer::timeout, this, &ModemRoute::TapiTimerTimer);
    connect(&device_, &TApdTapiDevice::OnTapiFail, this, &ModemRoute::ApdTapiDeviceTapiFail);
    connect(&device_, &TApdTapiDevice::OnTapiLog, this, &ModemRoute::ApdTapiDeviceTapiLog);
    connect(&device_, &TApdTapiDevice::OnTapiPortOpen, this, &ModemRoute::ApdTapiDeviceTapiPortOpen);
    connect(&device_, &TApdTapiDevice::OnTapiPortClose, this, &ModemRoute::ApdTapiDeviceTapiPortClose);
    connect(&device_, &TApdTapiDevice::OnTapiStatus, this, &ModemRoute::ApdTapiDeviceTapiStatus);
}

// --- Connect ----------------------------------------------------------------

void ModemRoute::TapiConnect()
{
    view_.SetStatusText("Connecting directly to Tuq via TAPI/Modem...");
    state_.switchConnected = false;
    tapiFailed_ = false;
    if (comPort_.Open())
        comPort_.SetOpen(false);
    comPort_.SetDeviceLayer(dlWin32);
    comPort_.SetTapiMode(tmOn);

    const std::string device = GetTapiDeviceName();
    const std::string number = GetPhoneNumber();
    CheckDialSettings(device, number);
    DialAndWait(device, number);
    LogMsg("Dial operation complete");
    view_.SetStatusText("Connection established via TAPI/Modem.");
    Synchronise();
}

void ModemRoute::CheckDialSettings(const std::string& device, const std::string& number)
{
    if (device.empty()) {
        LogMsg("TAPI device name not specified.");
        throw ClaimError("Select and configure a Modem prior to sending data (View | Options menu)");
    }
    if (!IsTapiDeviceInstalled(device)) {
        LogMsg("Currently selected modem no longer exists.");
        throw ClaimError("The currently selected modem no longer exists.  Select and configure a new Modem "
                         "prior to sending data (View | Options menu)");
    }
    ReleaseModemFromDialUp(ModemDevicePath(device));
    if (number.empty()) {
        LogMsg("Telephone number not specified.");
        throw ClaimError("Enter a telephone number prior to sending data (View | Options menu)");
    }
}

void ModemRoute::DialAndWait(const std::string& device, const std::string& number)
{
    TapiConfigBlock block = ReadTapiConfig();
    device_.SetSelectedDevice(device);
    device_.SetDevConfig(std::string(reinterpret_cast<const char*>(block.data.data()), block.size));
    if (GetShowTapiStatusPanel())
        LogMsg("Call Progress: the call's progress is written to this log.");
    device_.SetMaxAttempts(GetTapiRetries());
    device_.SetRetryWait(GetTapiRetryDelay());
    LogMsg("Dial via TAPI");
    device_.Dial(number);

    while (!state_.switchConnected && !tapiFailed_ && !state_.cancelRequested)
        WaitForEvents(kMaxWaitSliceMs);
    if (state_.switchConnected)
        return;
    if (tapiFailed_) {
        LogMsg("TAPI Dial operation failed");
    } else {
        LogMsg("TAPI Dial operation cancelled");
        device_.CancelCall();
    }
    throw ClaimError("TAPI connection was not established");
}

void ModemRoute::Synchronise()
{
    for (;;) {
        ProcessPendingEvents();
        if (state_.cancelRequested)
            throw ClaimError("The user clicked Cancel");
        LogMsg("Waiting 10 seconds for an ENQ");
        char c = 0;
        if (!ReadChar(kEnqWaitSeconds, c)) {
            LogMsg("ENQ never received");
            view_.SetStatusText("Could not synchronize modem communications.");
            throw ClaimError("Timed out waiting for expected ENQ character");
        }
        if (c == kEnq) {
            LogMsg("ENQ received!");
            return;
        }
        LogMsg("Read(0x%.4x)", static_cast<unsigned char>(c));
    }
}

// --- One claim ----------------------------------------------------------------

bool ModemRoute::ReadChar(int seconds, char& c)
{
    return ReadCharTimed(comPort_, seconds, c, state_);
}

bool ModemRoute::Write(const std::string& bytes, const char* failureFormat)
{
    try {
        comPort_.PutString(bytes);
        return true;
    } catch (const std::exception& error) {
        LogMsg(failureFormat, error.what());
        return false;
    }
}

int ModemRoute::VisaSendViaModem(const std::string& claim, std::string& response)
{
    if (exchangeBusy_) {
        // Only one exchange may use the call; a second one would read the
        // first one's answer.
        LogMsg("The modem call is busy with another claim.");
        return -1;
    }
    ExchangeScope scope(exchangeBusy_);
    std::string text = claim + kEtx;
    std::string frame = kStx + text + static_cast<char>(ComputeLrc(text));
    bool answered = false;
    for (;;) {
        int step = ExchangeOnce(frame, answered, response);
        if (step != kAgain)
            return step;
    }
}

int ModemRoute::ExchangeOnce(const std::string& frame, bool& answered, std::string& response)
{
    response.clear();
    ProcessPendingEvents();
    if (state_.cancelRequested)
        return kFailed;
    if (!answered) {
        LogMsg("TAPI WriteBuffer(%.40s)", frame.c_str() + 1);
        if (!Write(frame, "PutBlock failed with Exception '%s'"))
            return kFailed;
    }
    LogMsg("Awaiting Response, Reply Timeout = %d", GetTapiReplyTimeout());
    int start = AwaitResponseStart(frame);
    if (start != kDone)
        return start;

    std::string status = view_.StatusText().toStdString();
    if (status.find("Awaiting response...") == std::string::npos)
        view_.SetStatusText(QString::fromStdString(status + "  Awaiting response..."));
    LogMsg("Got an STX. Await Packet.");
    answered = true;

    int read = ReadResponse(response);
    if (read != kDone)
        return read;
    LogMsg("Resp(%d)(%s)", static_cast<int>(response.size()), PrintableText(response).c_str());
    LogMsg("Send an ACK");
    if (!Write(std::string(1, kAck), "PutChar(ACK) failed with Exception '%s'"))
        return kFailed;
    LogMsg("Wait for next ENQ");
    char c = 0;
    bool got = ReadChar(kNextEnqSeconds, c);
    if (got)
        LogMsg("Read(%.4x)", static_cast<unsigned char>(c));
    if (got && c == kEnq)
        return kDone;
    if (got && c == kEot) {
        LogMsg("Received an EOT.");
        return kDone;
    }
    LogMsg("Error waiting for ENQ.");
    return kFailed;
}

// kDone at the STX of the response, kAgain when the switch asks for the
// frame again, kFailed when it gives up or stays silent.
int ModemRoute::AwaitResponseStart(const std::string& frame)
{
    const int timeout = GetTapiReplyTimeout();
    for (;;) {
        ProcessPendingEvents();
        if (state_.cancelRequested)
            return kFailed;
        char c = 0;
        if (!ReadChar(timeout, c)) {
            LogMsg("ReadCharTimed() Failed");
            return kFailed;
        }
        switch (c) {
        case kEnq:
            break;
        case kEtx:
            LogMsg("Received ETX without leading STX.  Send NAK and try again.");
            if (!Write(std::string(1, kNak), "PutChar(NAK) for missed STX failed with Exception '%s'"))
                return kFailed;
            break;
        case kEot:
            LogMsg("Got an EOT.  Exit.");
            return kFailed;
        case kNak:
            LogMsg("Got a NAK.  LRC(%.4x).  Claim will be resent.", static_cast<unsigned char>(frame.back()));
            return kAgain;
        case kStx:
            return kDone;
        default:
            LogMsg("Unexpected char(0x%.2x), expected STX", static_cast<unsigned char>(c));
            break;
        }
    }
}

// The response text up to ETX and its check byte; a wrong check byte is
// answered with NAK, and the switch is expected to send the response again.
int ModemRoute::ReadResponse(std::string& response)
{
    for (;;) {
        ProcessPendingEvents();
        char c = 0;
        if (state_.cancelRequested) {
            if (!response.empty())
                LogMsg("  Cancelled, Partial Resp(%d)(%.*s)", static_cast<int>(response.size()),
                       static_cast<int>(response.size()), response.c_str());
            return kFailed;
        }
        if (!ReadChar(kResponseByteSeconds, c)) {
            LogMsg("ReadCharTimed() Failed");
            if (!response.empty())
                LogMsg("  Partial Resp(%d)(%.*s)", static_cast<int>(response.size()),
                       static_cast<int>(response.size()), response.c_str());
            return kFailed;
        }
        if (c == kEtx)
            break;
        response += c;
    }
    LogMsg("PreLRC, Resp(%d)(%.*s)", static_cast<int>(response.size()), static_cast<int>(response.size()),
           response.c_str());
    unsigned char computed = ComputeLrc(response);
    LogMsg("Wait for LRC");
    char received = 0;
    if (!ReadChar(kResponseByteSeconds, received)) {
        LogMsg("ReadCharTimed() Failed");
        return kFailed;
    }
    LogMsg("Received LRC (0x%.2x)", static_cast<unsigned char>(received));
    if (static_cast<unsigned char>(received) == computed)
        return kDone;
    LogMsg("LRC Check Failed (Received 0x%.2x, Computed 0x%.2x)\n  Send a NAK and wait for claim response again.",
           static_cast<unsigned char>(received), computed);
    if (!Write(std::string(1, kNak), "PutChar(NAK) failed with Exception '%s'"))
        return kFailed;
    return kAgain;
}

// --- The relay's claims and the idle call ---------------------------------------

bool ModemRoute::MxSendViaTapi(const std::string& claim, std::string& response)
{
    LogMsg("Received MxSendViaTapi event.");
    if (!GetConnectViaTapi()) {
        LogMsg("MxSendViaTapi returning false -- TAPI is not enabled.");
        view_.SetStatusText("");
        return false;
    }
    tapiTimer_.stop();
    if (!comPort_.Open() || comPort_.DeviceLayer() != dlWin32 || device_.TapiState() == tsIdle) {
        state_.switchError = 0;
        state_.connectTimedOut = false;
        state_.connectInProgress = true;
        try {
            TapiConnect();
        } catch (const std::exception& error) {
            LogMsg("TAPI connection failed with Exception '%s'", error.what());
            state_.connectInProgress = false;
            view_.SetStatusText("");
            return false;
        }
    }
    state_.connectInProgress = false;
    ProcessPendingEvents();
    if (state_.cancelRequested || state_.switchError != 0 || !state_.switchConnected) {
        view_.SetStatusText("");
        return false;
    }
    view_.SetStatusText("Sending claim via TAPI");
    int result = -1;
    try {
        result = VisaSendViaModem(claim, response);
    } catch (const std::exception& error) {
        LogMsg("Failed to send claim via TAPI.  Exception: '%s'", error.what());
    }
    view_.SetStatusText("");
    tapiTimer_.start();
    return result == 0;
}

void ModemRoute::TapiTimerTimer()
{
    tapiTimer_.stop();
    if (!comPort_.Open() || comPort_.DeviceLayer() != dlWin32)
        return;
    LogMsg("Closing TAPI connection due to TAPI Timer event.");
    CloseCall();
}

void ModemRoute::CloseCall()
{
    if (comPort_.Open()) {
        try {
            comPort_.PutChar(kEot);
        } catch (const std::exception& error) {
            LogMsg("Cannot write EOT on the modem line:  '%s'", error.what());
        }
    }
    if (device_.TapiState() == tsIdle)
        return;
    tapiPortClosed_ = device_.CancelCall();
    while (!tapiPortClosed_ && !state_.cancelRequested)
        WaitForEvents(kMaxWaitSliceMs);
}

// --- The device's events -----------------------------------------------------------

void ModemRoute::ApdTapiDeviceTapiFail()
{
    LogMsg("Received TapiFail event");
    tapiFailed_ = true;
}

void ModemRoute::ApdTapiDeviceTapiPortOpen()
{
    LogMsg("Received TapiPortOpen event");
    state_.switchConnected = true;
}

void ModemRoute::ApdTapiDeviceTapiPortClose()
{
    LogMsg("Received TapiPortClose event");
    tapiTimer_.stop();
    state_.switchConnected = false;
    tapiPortClosed_ = true;
}

void ModemRoute::ApdTapiDeviceTapiStatus(bool first, bool last, int, int message, int param1, int param2, int)
{
    if (first)
        LogMsg("Received TapiStatus event, First = true");
    else if (last)
        LogMsg("Received TapiStatus event, Last = true");
    else
        LogMsg("Received TapiStatus event, Msg = '%s'",
               TApdTapiDevice::TapiStatusMsg(message, param1, param2).c_str());
}

void ModemRoute::ApdTapiDeviceTapiLog(int code)
{
    LogMsg("Received TapiLog event");
    switch (code) {
    case ltapiNone:
    case ltapiCallStart: LogMsg(" : call started"); break;
    case ltapiCallFinish: LogMsg(" : call finished"); break;
    case ltapiDial: LogMsg(" : dialing..."); break;
    case ltapiAnswer: LogMsg(" : answering"); break;
    case ltapiConnect: LogMsg(" : connected"); break;
    case ltapiCancel:
        LogMsg(" : cancelled");
        if (state_.connectInProgress)
            state_.cancelRequested = true;
        break;
    case ltapiDrop: LogMsg(" : dropped"); break;
    case ltapiBusy: LogMsg(" : busy"); break;
    case ltapiDialFail: LogMsg(" : dial failed"); break;
    default: break;
    }
}
