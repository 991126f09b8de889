#include "ports/comm_port.h"

#include "base/format_text.h"
#include "config/settings.h"
#include "ports/null_modem.h"
#include "ports/port_ticks.h"
#include "ports/socket_device.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

TApdWinsockPort::TApdWinsockPort(QObject* parent) : QObject(parent) {}

TApdWinsockPort::~TApdWinsockPort()
{
    if (Open())
        CloseDevice();
    if (tapiLine_ >= 0)
        ::close(tapiLine_);
}

// --- Settings ---

void TApdWinsockPort::RequireClosed(const char* what) const
{
    if (Open())
        throw EPortError(ecBadSetting, FormatText("%s can only be changed while the port is closed", what));
}

void TApdWinsockPort::SetDeviceLayer(TDeviceLayer layer)
{
    RequireClosed("DeviceLayer");
    deviceLayer_ = layer;
}

void TApdWinsockPort::SetTapiMode(TTapiMode mode)
{
    RequireClosed("TapiMode");
    tapiMode_ = mode;
}

void TApdWinsockPort::SetComNumber(int number)
{
    RequireClosed("ComNumber");
    comNumber_ = number;
}

void TApdWinsockPort::SetDevicePath(const std::string& path)
{
    RequireClosed("DevicePath");
    devicePath_ = path;
}

void TApdWinsockPort::SetBaud(int baud)
{
    RequireClosed("Baud");
    line_.baud = baud;
}

void TApdWinsockPort::SetParity(TParity parity)
{
    RequireClosed("Parity");
    line_.parity = parity;
}

void TApdWinsockPort::SetDataBits(int bits)
{
    RequireClosed("DataBits");
    line_.dataBits = bits;
}

void TApdWinsockPort::SetStopBits(int bits)
{
    RequireClosed("StopBits");
    line_.stopBits = bits;
}

void TApdWinsockPort::SetInSize(int size)
{
    RequireClosed("InSize");
    if (size <= 0)
        throw EPortError(ecBadSetting, FormatText("Invalid input buffer size %d", size));
    inSize_ = size;
}

void TApdWinsockPort::SetOutSize(int size)
{
    RequireClosed("OutSize");
    if (size <= 0)
        throw EPortError(ecBadSetting, FormatText("Invalid output buffer size %d", size));
    outSize_ = size;
}

void TApdWinsockPort::SetHWFlowOptions(THWFlowOptions options)
{
    RequireClosed("HWFlowOptions");
    hwFlow_ = options;
}

void TApdWinsockPort::SetSWFlowOptions(TSWFlowOptions options)
{
    RequireClosed("SWFlowOptions");
    swFlow_ = options;
}

void TApdWinsockPort::SetBufferFull(int count)
{
    RequireClosed("BufferFull");
    bufferFull_ = count;
}

void TApdWinsockPort::SetBufferResume(int count)
{
    RequireClosed("BufferResume");
    bufferResume_ = count;
}

void TApdWinsockPort::SetXOnChar(unsigned char c)
{
    RequireClosed("XOnChar");
    xOnChar_ = c;
}

void TApdWinsockPort::SetXOffChar(unsigned char c)
{
    RequireClosed("XOffChar");
    xOffChar_ = c;
}

void TApdWinsockPort::SetWsAddress(const std::string& address)
{
    RequireClosed("WsAddress");
    wsAddress_ = address;
}

void TApdWinsockPort::SetWsPort(const std::string& port)
{
    RequireClosed("WsPort");
    wsPort_ = port;
}

void TApdWinsockPort::SetWsTelnet(bool telnet)
{
    RequireClosed("WsTelnet");
    wsTelnet_ = telnet;
}

bool TApdWinsockPort::TelnetActive() const
{
    return deviceLayer_ == dlWinsock && wsTelnet_;
}

void TApdWinsockPort::AttachTapiLine(int fd, const std::string& alreadyRead)
{
    RequireClosed("The handed-over line");
    if (tapiLine_ >= 0)
        ::close(tapiLine_);
    tapiLine_ = fd;
    tapiLineInput_ = QByteArray::fromStdString(alreadyRead);
}

// --- Opening and closing ---

void TApdWinsockPort::SetOpen(bool open)
{
    if (open == Open())
        return;
    if (!open) {
        CloseDevice();
        return;
    }
    device_ = OpenDevice();
    ++openPeriod_;
    socketEnded_ = false;
    inputThrottled_ = false;
    peerSentXOff_ = false;
    deltas_ = 0;
    telnet_ = TelnetFilter();
    lastModemChanges_ = 0;
    lastLineConditions_ = 0;
    connect(device_.get(), &PortDevice::ReadyRead, this, &TApdWinsockPort::FillInput);
    connect(device_.get(), &PortDevice::ReadyWrite, this, &TApdWinsockPort::FlushOutput);
    connect(device_.get(), &PortDevice::StatusChanged, this, &TApdWinsockPort::OnDeviceStatus);
    if (socketDevice_) {
        connect(socketDevice_, &SocketDevice::Connected, this, [this] {
            FlushOutput();
            emit OnWsConnect();
        });
        connect(socketDevice_, &SocketDevice::Disconnected, this, [this] {
            socketEnded_ = true;
            FillInput();
            emit OnWsDisconnect();
        });
        connect(socketDevice_, &SocketDevice::Failed, this, [this](int code) {
            socketEnded_ = true;
            emit OnWsError(code);
        });
    }
    const quint64 period = openPeriod_;
    for (PortListener* listener : ListenersInOrder()) {
        if (period != openPeriod_)
            return;
        if (StillListening(listener))
            listener->PortOpened();
    }
    FillInput();
    if (!input_.isEmpty())
        ScheduleAvail();
}

bool TApdWinsockPort::Connected() const
{
    return socketDevice_ && socketDevice_->IsConnected();
}

std::unique_ptr<PortDevice> TApdWinsockPort::OpenDevice()
{
    if (deviceLayer_ == dlWinsock)
        return OpenSocketDevice();
    return OpenSerialDevice();
}

std::unique_ptr<PortDevice> TApdWinsockPort::OpenSocketDevice()
{
    if (wsAddress_.empty())
        throw EPortError(ecBadSetting, "No host name or address given for the socket port");
    auto device = std::make_unique<SocketDevice>(wsAddress_, wsPort_, inSize_);
    socketDevice_ = device.get();
    return device;
}

std::unique_ptr<PortDevice> TApdWinsockPort::OpenSerialDevice()
{
    if (tapiMode_ == tmOn) {
        if (tapiLine_ < 0)
            throw EPortError(ecPortNotOpen, "No line has been handed over to the port");
        auto device = SerialLineDevice::Adopt(tapiLine_, dtr_, rts_);
        tapiLine_ = -1;
        input_ = tapiLineInput_;
        tapiLineInput_.clear();
        line_ = device->CurrentSettings();
        serialDevice_ = device.get();
        return device;
    }
    const std::string path = SerialDevicePath();
    if (IsNullModemPath(path))
        return OpenNullModemEnd(path, dtr_, rts_);
    auto device = SerialLineDevice::Open(path, line_, dtr_, rts_);
    serialDevice_ = device.get();
    return device;
}

std::string TApdWinsockPort::SerialDevicePath() const
{
    if (!devicePath_.empty())
        return devicePath_;
    if (comNumber_ < 1)
        throw EPortError(ecNoComPort);
    try {
        return ComPortDevice(comNumber_);
    } catch (const std::exception& e) {
        throw EPortError(ecBadSetting, FormatText("Cannot find the device of COM%d: %s", comNumber_, e.what()));
    }
}

int TApdWinsockPort::DetachLine()
{
    if (!serialDevice_)
        return -1;
    const int fd = serialDevice_->Release();
    CloseDevice();
    return fd;
}

void TApdWinsockPort::CloseDevice()
{
    if (closing_)
        return;
    closing_ = true;
    struct EndClosing {
        bool& flag;
        ~EndClosing() { flag = false; }
    } endClosing{closing_};
    const quint64 period = openPeriod_;
    for (PortListener* listener : ListenersInOrder()) {
        if (StillListening(listener))
            listener->PortClosing();
        if (period != openPeriod_ || !Open())
            return;
    }
    ++openPeriod_;
    for (auto& entry : triggers_) {
        if (entry.second.timer) {
            entry.second.timer->stop();
            entry.second.timer.release()->deleteLater();
        }
    }
    triggers_.clear();
    // The device may be the sender of the notification that led here, so it
    // lets go of its line now and is deleted from the event loop.
    PortDevice* device = device_.release();
    device->disconnect(this);
    device->Close();
    device->deleteLater();
    serialDevice_ = nullptr;
    socketDevice_ = nullptr;
    input_.clear();
    output_.clear();
    sharedReadPos_ = 0;
    dtr_ = true;
    rts_ = true;
}

// --- Control lines and modem status ---

void TApdWinsockPort::SetDTR(bool level)
{
    dtr_ = level;
    if (Open())
        ApplyOutputLines();
}

void TApdWinsockPort::SetRTS(bool level)
{
    rts_ = level;
    if (Open())
        ApplyOutputLines();
}

void TApdWinsockPort::ApplyOutputLines()
{
    const bool dropDtr = inputThrottled_ && (hwFlow_ & hwfUseDTR);
    const bool dropRts = inputThrottled_ && (hwFlow_ & hwfUseRTS);
    device_->SetOutputLines(dtr_ && !dropDtr, rts_ && !dropRts);
}

bool TApdWinsockPort::CTS()
{
    RequireOpen();
    deltas_ &= ~msCTSDelta;
    return device_->Levels().cts;
}

bool TApdWinsockPort::DSR()
{
    RequireOpen();
    deltas_ &= ~msDSRDelta;
    return device_->Levels().dsr;
}

bool TApdWinsockPort::DCD()
{
    RequireOpen();
    return device_->Levels().dcd;
}

bool TApdWinsockPort::RI()
{
    RequireOpen();
    return device_->Levels().ri;
}

ModemLevels TApdWinsockPort::PeekModemLevels() const
{
    return Open() ? device_->Levels() : ModemLevels{};
}

static bool TakeFlag(int& flags, int flag)
{
    const bool set = (flags & flag) != 0;
    flags &= ~flag;
    return set;
}

bool TApdWinsockPort::DeltaCTS()
{
    RequireOpen();
    return TakeFlag(deltas_, msCTSDelta);
}

bool TApdWinsockPort::DeltaDSR()
{
    RequireOpen();
    return TakeFlag(deltas_, msDSRDelta);
}

// --- Output ---

void TApdWinsockPort::RequireOpen() const
{
    if (!Open())
        throw EPortError(ecPortNotOpen);
}

void TApdWinsockPort::PutChar(char c)
{
    PutBlock(&c, 1);
}

void TApdWinsockPort::PutString(const std::string& bytes)
{
    PutBlock(bytes.data(), static_cast<int>(bytes.size()));
}

void TApdWinsockPort::PutBlock(const char* bytes, int count)
{
    RequireOpen();
    if (socketEnded_)
        throw EPortError(ecNotConnected);
    if (count < 0)
        throw EPortError(ecBadSetting, FormatText("Invalid byte count %d", count));
    QByteArray data(bytes, count);
    if (TelnetActive())
        data = TelnetFilter::Escape(data);
    const int space = OutBuffFree();
    if (data.size() > space)
        throw EPortError(ecOutputBufferFull,
                         FormatText("Output buffer full: %d bytes do not fit in %d free bytes",
                                    static_cast<int>(data.size()), space));
    if (count == 0)
        return;
    output_.append(data);
    FlushOutput();
    const quint64 period = openPeriod_;
    for (PortListener* listener : ListenersInOrder()) {
        if (period != openPeriod_)
            return;
        if (StillListening(listener))
            listener->PortWritten(count);
    }
}

int TApdWinsockPort::OutBuffUsed() const
{
    if (!Open())
        return 0;
    return static_cast<int>(output_.size() + device_->BytesQueued());
}

int TApdWinsockPort::OutBuffFree() const
{
    RequireOpen();
    return std::max(0, outSize_ - OutBuffUsed());
}

bool TApdWinsockPort::TransmitHeld()
{
    if (deviceLayer_ != dlWin32)
        return false;
    if (hwFlow_ & (hwfRequireCTS | hwfRequireDSR)) {
        const ModemLevels levels = device_->Levels();
        if ((hwFlow_ & hwfRequireCTS) && !levels.cts)
            return true;
        if ((hwFlow_ & hwfRequireDSR) && !levels.dsr)
            return true;
    }
    return peerSentXOff_;
}

void TApdWinsockPort::FlushOutput()
{
    if (!Open() || output_.isEmpty() || TransmitHeld())
        return;
    const qint64 taken = device_->Write(output_);
    output_.remove(0, taken);
}

void TApdWinsockPort::SendFlowChar(unsigned char c)
{
    // Flow characters go ahead of anything waiting in the output buffer.
    device_->Write(QByteArray(1, static_cast<char>(c)));
}

// --- Input ---

void TApdWinsockPort::FillInput()
{
    if (!Open())
        return;
    const bool watchFlowChars = deviceLayer_ == dlWin32 && (swFlow_ == swfTransmit || swFlow_ == swfBoth);
    bool arrived = false;
    for (;;) {
        const int room = inSize_ - static_cast<int>(input_.size());
        device_->SetReadSuspended(room <= 0);
        if (room <= 0)
            break;
        QByteArray data = device_->Read(room);
        if (data.isEmpty())
            break;
        if (TelnetActive()) {
            QByteArray replies;
            data = telnet_.Receive(data, replies);
            device_->Write(replies);
        }
        for (char c : data) {
            const auto byte = static_cast<unsigned char>(c);
            if (watchFlowChars && byte == xOffChar_) {
                peerSentXOff_ = true;
            } else if (watchFlowChars && byte == xOnChar_) {
                peerSentXOff_ = false;
            } else {
                input_.append(c);
                arrived = true;
            }
        }
    }
    CheckInputThrottle();
    if (!peerSentXOff_)
        FlushOutput();
    if (arrived)
        ScheduleAvail();
}

void TApdWinsockPort::CheckInputThrottle()
{
    if (deviceLayer_ != dlWin32)
        return;
    const bool byLines = (hwFlow_ & (hwfUseDTR | hwfUseRTS)) != 0;
    const bool byChars = swFlow_ == swfReceive || swFlow_ == swfBoth;
    if (!byLines && !byChars)
        return;
    const int used = static_cast<int>(input_.size());
    if (!inputThrottled_ && used >= bufferFull_) {
        inputThrottled_ = true;
        if (byChars)
            SendFlowChar(xOffChar_);
    } else if (inputThrottled_ && used <= bufferResume_) {
        inputThrottled_ = false;
        if (byChars)
            SendFlowChar(xOnChar_);
    } else {
        return;
    }
    if (byLines)
        ApplyOutputLines();
}

void TApdWinsockPort::ScheduleAvail()
{
    if (availScheduled_)
        return;
    availScheduled_ = true;
    QMetaObject::invokeMethod(this, [this] {
        availScheduled_ = false;
        DispatchAvail();
    }, Qt::QueuedConnection);
}

void TApdWinsockPort::DispatchAvail()
{
    if (!Open() || input_.isEmpty())
        return;
    if (dispatchingAvail_) {
        // A handler is pumping events inside the current notification; the
        // new bytes are reported once it has finished.
        availAfterDispatch_ = true;
        return;
    }
    // Settles the shared read even when a handler raises: what was read by
    // then is consumed and the next arrival is reported again.
    struct SharedRead {
        TApdWinsockPort& port;
        const quint64 period = port.openPeriod_;
        int mostRead = 0;
        void Note() { mostRead = std::max(mostRead, port.sharedReadPos_); }
        bool SamePeriod() const { return period == port.openPeriod_; }
        ~SharedRead()
        {
            port.dispatchingAvail_ = false;
            port.sharedReadPos_ = 0;
            if (SamePeriod())
                port.Consume(mostRead);
            if (port.availAfterDispatch_) {
                port.availAfterDispatch_ = false;
                port.ScheduleAvail();
            }
        }
    };
    dispatchingAvail_ = true;
    SharedRead read{*this};
    const int count = static_cast<int>(input_.size());
    for (PortListener* listener : ListenersInOrder()) {
        if (!StillListening(listener))
            continue;
        sharedReadPos_ = 0;
        listener->PortAvail(count);
        if (!read.SamePeriod())
            return;
        read.Note();
    }
    sharedReadPos_ = 0;
    emit OnTriggerAvail(count);
    if (read.SamePeriod())
        read.Note();
}

void TApdWinsockPort::Consume(int count)
{
    if (count <= 0)
        return;
    input_.remove(0, count);
    CheckInputThrottle();
    FillInput();
}

bool TApdWinsockPort::CharReady() const
{
    return InBuffUsed() > 0;
}

int TApdWinsockPort::InBuffUsed() const
{
    RequireOpen();
    const int waiting = static_cast<int>(input_.size());
    return dispatchingAvail_ ? waiting - sharedReadPos_ : waiting;
}

char TApdWinsockPort::GetChar()
{
    if (InBuffUsed() < 1)
        throw EBufferIsEmpty();
    if (dispatchingAvail_)
        return input_.at(sharedReadPos_++);
    const char c = input_.at(0);
    Consume(1);
    return c;
}

std::string TApdWinsockPort::GetBlock(int count)
{
    if (count < 0 || InBuffUsed() < count)
        throw EBufferIsEmpty();
    if (dispatchingAvail_) {
        std::string block(input_.constData() + sharedReadPos_, static_cast<size_t>(count));
        sharedReadPos_ += count;
        return block;
    }
    std::string block(input_.constData(), static_cast<size_t>(count));
    Consume(count);
    return block;
}

// --- Triggers ---

quint16 TApdWinsockPort::NewHandle()
{
    for (int tries = 0; tries < 0xFFFF; ++tries) {
        ++lastHandle_;
        if (lastHandle_ != 0 && !triggers_.count(lastHandle_))
            return lastHandle_;
    }
    throw EPortError(ecNoTriggerHandle);
}

quint16 TApdWinsockPort::AddStatusTrigger(TStatusTriggerKind kind)
{
    RequireOpen();
    const quint16 handle = NewHandle();
    Trigger& trigger = triggers_[handle];
    trigger.kind = kind == stModem ? Trigger::Modem : Trigger::Line;
    return handle;
}

void TApdWinsockPort::SetStatusTrigger(quint16 handle, int mask, bool activate)
{
    const auto found = triggers_.find(handle);
    if (found == triggers_.end())
        return;
    if (found->second.kind == Trigger::Timer)
        throw EPortError(ecUnknownTrigger, FormatText("Trigger %u is not a status trigger", handle));
    found->second.mask = mask;
    found->second.armed = activate;
}

quint16 TApdWinsockPort::AddTimerTrigger()
{
    RequireOpen();
    const quint16 handle = NewHandle();
    Trigger& trigger = triggers_[handle];
    trigger.kind = Trigger::Timer;
    trigger.timer = std::make_unique<QTimer>();
    trigger.timer->setSingleShot(true);
    trigger.timer->setTimerType(Qt::PreciseTimer);
    connect(trigger.timer.get(), &QTimer::timeout, this, [this, handle] { FireTimerTrigger(handle); });
    return handle;
}

void TApdWinsockPort::SetTimerTrigger(quint16 handle, int ticks, bool activate)
{
    const auto found = triggers_.find(handle);
    if (found == triggers_.end())
        return;
    Trigger& trigger = found->second;
    if (trigger.kind != Trigger::Timer)
        throw EPortError(ecUnknownTrigger, FormatText("Trigger %u is not a timer trigger", handle));
    trigger.armed = activate;
    if (activate)
        trigger.timer->start(std::max(0, ticks) * kTickMs);
    else
        trigger.timer->stop();
}

void TApdWinsockPort::RemoveTrigger(quint16 handle)
{
    const auto found = triggers_.find(handle);
    if (found == triggers_.end())
        return;
    if (found->second.timer) {
        // It may be the timer whose expiry is being reported right now.
        found->second.timer->stop();
        found->second.timer.release()->deleteLater();
    }
    triggers_.erase(found);
}

void TApdWinsockPort::OnDeviceStatus(int modemChanges, int lineConditions)
{
    deltas_ |= modemChanges;
    lastModemChanges_ = modemChanges;
    lastLineConditions_ = lineConditions;
    if (modemChanges)
        FlushOutput();
    std::vector<std::pair<quint16, Trigger::Kind>> fired;
    for (auto& [handle, trigger] : triggers_) {
        if (!trigger.armed)
            continue;
        const int seen = trigger.kind == Trigger::Modem ? modemChanges
                       : trigger.kind == Trigger::Line  ? lineConditions
                                                        : 0;
        if (trigger.mask & seen) {
            trigger.armed = false;
            fired.emplace_back(handle, trigger.kind);
        }
    }
    const quint64 period = openPeriod_;
    for (const auto& [handle, kind] : fired) {
        if (period != openPeriod_)
            return;
        FireStatusTrigger(handle, kind);
    }
}

void TApdWinsockPort::FireStatusTrigger(quint16 handle, Trigger::Kind kind)
{
    const quint64 period = openPeriod_;
    for (PortListener* listener : ListenersInOrder()) {
        if (StillListening(listener))
            listener->PortStatus(handle);
        if (period != openPeriod_)
            return;
    }
    emit OnTriggerStatus(handle);
    if (period == openPeriod_ && kind == Trigger::Modem)
        emit OnTriggerModemStatus();
}

void TApdWinsockPort::FireTimerTrigger(quint16 handle)
{
    const auto found = triggers_.find(handle);
    if (found == triggers_.end())
        return;
    found->second.armed = false;
    const quint64 period = openPeriod_;
    for (PortListener* listener : ListenersInOrder()) {
        if (StillListening(listener))
            listener->PortTimer(handle);
        if (period != openPeriod_)
            return;
    }
    emit OnTriggerTimer(handle);
}

// --- Listeners ---

void TApdWinsockPort::AddListener(PortListener* listener, ListenerRank rank)
{
    if (!StillListening(listener))
        listeners_.push_back(Listener{listener, rank});
}

void TApdWinsockPort::RemoveListener(PortListener* listener)
{
    std::erase_if(listeners_, [listener](const Listener& l) { return l.listener == listener; });
}

bool TApdWinsockPort::StillListening(PortListener* listener) const
{
    return std::any_of(listeners_.begin(), listeners_.end(),
                       [listener](const Listener& l) { return l.listener == listener; });
}

std::vector<PortListener*> TApdWinsockPort::ListenersInOrder() const
{
    std::vector<Listener> ordered = listeners_;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Listener& a, const Listener& b) { return a.rank < b.rank; });
    std::vector<PortListener*> result;
    for (const Listener& l : ordered)
        result.push_back(l.listener);
    return result;
}
