#include "transports/tapi_device.h"

#include "base/general_log.h"
#include "config/settings.h"
#include "ports/port_ticks.h"
#include "ports/pumped_wait.h"

#include <algorithm>

namespace {

// The modem's final result codes of a dial, and what each means here.
struct DialResult {
    const char* text;
    int logCode;
    int statusMessage;
};

constexpr DialResult kFailedDials[] = {
    {"BUSY", ltapiBusy, tmsBusy},
    {"NO CARRIER", ltapiDialFail, tmsNoConnection},
    {"NO DIALTONE", ltapiDialFail, tmsNoConnection},
    {"NO DIAL TONE", ltapiDialFail, tmsNoConnection},
    {"NO ANSWER", ltapiDialFail, tmsNoConnection},
    {"ERROR", ltapiDialFail, tmsNoConnection},
};

constexpr int kCarrierDetectMask = 0x80;

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

TApdTapiDevice::TApdTapiDevice(QObject* parent) : QObject(parent)
{
    commandTimer_.setSingleShot(true);
    redialTimer_.setSingleShot(true);
    connect(&commandTimer_, &QTimer::timeout, this, &TApdTapiDevice::CommandTimedOut);
    connect(&redialTimer_, &QTimer::timeout, this, &TApdTapiDevice::StartAttempt);
    connect(&line_, &TApdWinsockPort::OnTriggerAvail, this, &TApdTapiDevice::LineAvail);
}

TApdTapiDevice::~TApdTapiDevice() = default;

void TApdTapiDevice::SetTimeouts(int commandMs, int dialMs, int guardMs)
{
    commandMs_ = commandMs;
    dialMs_ = dialMs;
    guardMs_ = guardMs;
}

std::string TApdTapiDevice::TapiStatusMsg(int message, int param1, int)
{
    switch (message) {
    case tmsOpening: return "Opening the modem";
    case tmsDialing: return "Dialing, attempt " + std::to_string(param1);
    case tmsConnected: return "Connected at " + std::to_string(param1) + " bit/s";
    case tmsBusy: return "Line busy";
    case tmsNoConnection: return "No connection";
    case tmsRedial: return "Redialing in " + std::to_string(param1) + " seconds";
    case tmsDropped: return "Call dropped";
    default: return "Unknown call state " + std::to_string(message);
    }
}

void TApdTapiDevice::Status(int message, int param1)
{
    emit OnTapiStatus(false, false, 0, message, param1, 0, 0);
}

void TApdTapiDevice::Dial(const std::string& number)
{
    if (state_ != tsIdle)
        return;
    number_ = number;
    attempt_ = 0;
    state_ = tsDialing;
    emit OnTapiStatus(true, false, 0, tmsOpening, 0, 0, 0);
    emit OnTapiLog(ltapiCallStart);
    StartAttempt();
}

void TApdTapiDevice::StartAttempt()
{
    if (state_ != tsDialing)
        return;
    ++attempt_;
    received_.clear();
    dialSent_ = false;
    if (!OpenLine()) {
        AttemptFailed(ltapiDialFail, tmsNoConnection);
        return;
    }
    commands_ = {"ATZ", config_.initString};
    if (!config_.waitForDialTone)
        commands_.push_back("ATX3");
    SendNextCommand();
}

bool TApdTapiDevice::OpenLine()
{
    try {
        line_.SetTapiMode(tmOff);
        line_.SetDevicePath(ModemDevicePath(deviceName_));
        line_.SetBaud(config_.speed);
        line_.SetHWFlowOptions(config_.flowControl == "RtsCts" ? hwfUseRTS | hwfRequireCTS : 0);
        line_.SetSWFlowOptions(config_.flowControl == "XonXoff" ? swfBoth : swfNone);
        line_.SetDTR(true);
        line_.SetRTS(true);
        line_.SetOpen(true);
        return true;
    } catch (const std::exception& error) {
        LogMsg("Cannot open the modem '%s':  %s", deviceName_.c_str(), error.what());
        return false;
    }
}

void TApdTapiDevice::SendNextCommand()
{
    std::string command;
    if (!commands_.empty()) {
        command = commands_.front();
        commands_.erase(commands_.begin());
        commandTimer_.start(commandMs_);
    } else {
        command = config_.dialPrefix + number_;
        dialSent_ = true;
        emit OnTapiLog(ltapiDial);
        Status(tmsDialing, attempt_);
        commandTimer_.start(dialMs_);
    }
    try {
        line_.PutString(command + "\r");
    } catch (const std::exception& error) {
        LogMsg("Cannot write to the modem:  %s", error.what());
        AttemptFailed(ltapiDialFail, tmsNoConnection);
    }
}

void TApdTapiDevice::LineAvail(int count)
{
    received_ += line_.GetBlock(count);
    if (state_ != tsDialing)
        return;
    for (;;) {
        size_t end = received_.find_first_of("\r\n");
        if (end == std::string::npos)
            return;
        std::string line = received_.substr(0, end);
        size_t next = received_.find_first_not_of("\r\n", end);
        // A connect report ends at its own line end; what follows is data.
        if (StartsWith(line, "CONNECT")) {
            size_t lineEnd = end + 1;
            if (lineEnd < received_.size() && received_[end] == '\r' && received_[lineEnd] == '\n')
                ++lineEnd;
            received_.erase(0, lineEnd);
            HandleResult(line);
            return;
        }
        received_.erase(0, next == std::string::npos ? received_.size() : next);
        if (!line.empty())
            HandleResult(line);
        if (state_ != tsDialing)
            return;
    }
}

void TApdTapiDevice::HandleResult(const std::string& line)
{
    if (StartsWith(line, "AT"))
        return;  // the modem's echo of our command
    if (!dialSent_) {
        if (line == "OK")
            SendNextCommand();
        else if (line == "ERROR")
            AttemptFailed(ltapiDialFail, tmsNoConnection);
        return;
    }
    if (StartsWith(line, "CONNECT")) {
        Connected();
        return;
    }
    for (const DialResult& result : kFailedDials) {
        if (line == result.text) {
            AttemptFailed(result.logCode, result.statusMessage);
            return;
        }
    }
}

void TApdTapiDevice::Connected()
{
    commandTimer_.stop();
    std::string alreadyRead;
    alreadyRead.swap(received_);
    int fd = line_.DetachLine();
    try {
        comPort_->SetDeviceLayer(dlWin32);
        comPort_->SetTapiMode(tmOn);
        comPort_->AttachTapiLine(fd, alreadyRead);
        comPort_->SetOpen(true);
        carrierTrigger_ = comPort_->AddStatusTrigger(stModem);
        comPort_->SetStatusTrigger(carrierTrigger_, kCarrierDetectMask, true);
        connect(comPort_, &TApdWinsockPort::OnTriggerStatus, this, &TApdTapiDevice::ComPortStatus,
                Qt::UniqueConnection);
    } catch (const std::exception& error) {
        LogMsg("Cannot hand the modem line over:  %s", error.what());
        AttemptFailed(ltapiDialFail, tmsNoConnection);
        return;
    }
    state_ = tsConnected;
    emit OnTapiLog(ltapiConnect);
    Status(tmsConnected, comPort_->Baud());
    emit OnTapiPortOpen();
}

void TApdTapiDevice::CommandTimedOut()
{
    LogMsg("The modem did not answer in time.");
    AttemptFailed(ltapiDialFail, tmsNoConnection);
}

void TApdTapiDevice::AttemptFailed(int logCode, int statusMessage)
{
    commandTimer_.stop();
    CloseLine();
    emit OnTapiLog(logCode);
    Status(statusMessage);
    if (state_ != tsDialing)
        return;
    if (attempt_ < maxAttempts_) {
        Status(tmsRedial, retryWaitSeconds_);
        redialTimer_.start(retryWaitSeconds_ * 1000);
        return;
    }
    state_ = tsIdle;
    emit OnTapiFail();
    emit OnTapiLog(ltapiCallFinish);
    emit OnTapiStatus(false, true, 0, tmsNoConnection, 0, 0, 0);
}

void TApdTapiDevice::CloseLine()
{
    if (!line_.Open())
        return;
    try {
        line_.SetDTR(false);
        line_.SetOpen(false);
    } catch (const std::exception& error) {
        LogMsg("Cannot close the modem:  %s", error.what());
    }
}

bool TApdTapiDevice::CancelCall()
{
    switch (state_) {
    case tsIdle:
    case tsHangingUp:
        return true;
    case tsDialing:
        commandTimer_.stop();
        redialTimer_.stop();
        // Any character stops a modem that is dialling.
        try {
            if (line_.Open())
                line_.PutString("\r");
        } catch (const std::exception&) {
        }
        CloseLine();
        state_ = tsIdle;
        emit OnTapiLog(ltapiCancel);
        emit OnTapiLog(ltapiCallFinish);
        emit OnTapiStatus(false, true, 0, tmsDropped, 0, 0, 0);
        return true;
    case tsConnected:
        HangUpConnectedLine();
        return true;
    }
    return true;
}

// Escape to command mode after the guard time, hang up, and drop DTR for
// modems that hang up only on that.
void TApdTapiDevice::HangUpConnectedLine()
{
    state_ = tsHangingUp;
    int fd = comPort_->Open() ? comPort_->DetachLine() : -1;
    if (fd >= 0) {
        try {
            line_.SetTapiMode(tmOn);
            line_.AttachTapiLine(fd);
            line_.SetOpen(true);
            received_.clear();
            PumpedWait(FractionalSecs2Ticks(guardMs_ / 1000.0));
            line_.PutString("+++");
            WaitForResult("OK", guardMs_ + commandMs_);
            line_.PutString("ATH0\r");
            WaitForResult("OK", commandMs_);
        } catch (const std::exception& error) {
            LogMsg("Hanging up the modem:  %s", error.what());
        }
        CloseLine();
    }
    EndCall(ltapiDrop);
}

bool TApdTapiDevice::WaitForResult(const std::string& result, int ms)
{
    return PumpedWait(FractionalSecs2Ticks(ms / 1000.0),
                      [&] { return received_.find(result) != std::string::npos; });
}

void TApdTapiDevice::ComPortStatus(quint16 handle)
{
    if (state_ != tsConnected || handle != carrierTrigger_)
        return;
    if (comPort_->DCD()) {
        comPort_->SetStatusTrigger(carrierTrigger_, kCarrierDetectMask, true);
        return;
    }
    LogMsg("The modem lost the carrier.");
    state_ = tsHangingUp;
    comPort_->SetOpen(false);
    CloseLine();
    EndCall(ltapiDrop);
}

void TApdTapiDevice::EndCall(int logCode)
{
    carrierTrigger_ = 0;
    if (comPort_->Open())
        comPort_->SetOpen(false);
    state_ = tsIdle;
    emit OnTapiLog(logCode);
    Status(tmsDropped);
    emit OnTapiPortClose();
    emit OnTapiLog(ltapiCallFinish);
    emit OnTapiStatus(false, true, 0, tmsDropped, 0, 0, 0);
}
