#include "ports/serial_line_device.h"

#include "base/format_text.h"
#include "ports/port_errors.h"
#include "ports/port_ticks.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <utility>

namespace {

struct SpeedCode {
    int baud;
    speed_t code;
};

constexpr SpeedCode kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

speed_t SpeedCodeFor(int baud)
{
    for (const SpeedCode& s : kSpeeds)
        if (s.baud == baud)
            return s.code;
    throw EPortError(ecBadSetting, FormatText("Unsupported line speed %d", baud));
}

int BaudFor(speed_t code)
{
    for (const SpeedCode& s : kSpeeds)
        if (s.code == code)
            return s.baud;
    return 0;
}

tcflag_t DataBitsFlag(int dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    case 8: return CS8;
    default: throw EPortError(ecBadSetting, FormatText("Unsupported data bits %d", dataBits));
    }
}

tcflag_t ParityFlags(TParity parity)
{
    switch (parity) {
    case pNone: return 0;
    case pOdd: return PARENB | PARODD;
    case pEven: return PARENB;
    case pMark: return PARENB | PARODD | CMSPAR;
    case pSpace: return PARENB | CMSPAR;
    }
    throw EPortError(ecBadSetting, FormatText("Unsupported parity %d", static_cast<int>(parity)));
}

EPortError SystemError(const std::string& what)
{
    const int code = errno;
    return EPortError(code, what + ": " + std::strerror(code));
}

} // namespace

void SetLineTermios(termios& tio, const LineSettings& settings)
{
    if (settings.stopBits != 1 && settings.stopBits != 2)
        throw EPortError(ecBadSetting, FormatText("Unsupported stop bits %d", settings.stopBits));
    const speed_t speed = SpeedCodeFor(settings.baud);
    const tcflag_t framing = DataBitsFlag(settings.dataBits) | ParityFlags(settings.parity);
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | framing;
    if (settings.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
}

LineSettings LineSettingsOf(const termios& tio)
{
    LineSettings settings;
    settings.baud = BaudFor(cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
    case CS5: settings.dataBits = 5; break;
    case CS6: settings.dataBits = 6; break;
    case CS7: settings.dataBits = 7; break;
    default: settings.dataBits = 8; break;
    }
    settings.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    if (!(tio.c_cflag & PARENB))
        settings.parity = pNone;
    else if (tio.c_cflag & CMSPAR)
        settings.parity = (tio.c_cflag & PARODD) ? pMark : pSpace;
    else
        settings.parity = (tio.c_cflag & PARODD) ? pOdd : pEven;
    return settings;
}

static void ApplyLineSettings(int fd, const LineSettings& settings)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        throw SystemError("Cannot read the line settings");
    SetLineTermios(tio, settings);
    if (tcsetattr(fd, TCSANOW, &tio) != 0)
        throw SystemError("Cannot apply the line settings");
}

std::unique_ptr<SerialLineDevice> SerialLineDevice::Open(const std::string& path, const LineSettings& settings,
                                                         bool dtr, bool rts)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw SystemError("Cannot open " + path);
    // Like a COM port, a line serves one port of one program at a time.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        ::close(fd);
        throw EPortError(code, path + " is in use by another port");
    }
    std::unique_ptr<SerialLineDevice> device(new SerialLineDevice(fd));
    if (!isatty(fd))
        throw EPortError(ENOTTY, path + " is not a serial device");
    ApplyLineSettings(fd, settings);
    tcflush(fd, TCIOFLUSH);
    device->SetOutputLines(dtr, rts);
    device->StartWatching();
    return device;
}

std::unique_ptr<SerialLineDevice> SerialLineDevice::Adopt(int fd, bool dtr, bool rts)
{
    if (fd < 0 || !isatty(fd))
        throw EPortError(ENOTTY, "The handed-over line is not a serial device");
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    std::unique_ptr<SerialLineDevice> device(new SerialLineDevice(fd));
    device->SetOutputLines(dtr, rts);
    device->StartWatching();
    return device;
}

SerialLineDevice::SerialLineDevice(int fd) : fd_(fd)
{
    int bits = 0;
    hasModemLines_ = ioctl(fd_, TIOCMGET, &bits) == 0;
    hasCounters_ = ReadCounters(counters_);
    levels_ = Levels();
}

SerialLineDevice::~SerialLineDevice()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int SerialLineDevice::Release()
{
    // The notifiers may be reporting right now, so they are only disabled.
    if (readNotifier_)
        readNotifier_->setEnabled(false);
    if (writeNotifier_)
        writeNotifier_->setEnabled(false);
    statusPoll_.stop();
    return std::exchange(fd_, -1);
}

void SerialLineDevice::Close()
{
    const int fd = Release();
    if (fd >= 0)
        ::close(fd);
}

void SerialLineDevice::StartWatching()
{
    readNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &SerialLineDevice::ReadyRead);
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, [this] {
        writeNotifier_->setEnabled(false);
        emit ReadyWrite();
    });
    if (hasModemLines_) {
        // The kernel keeps transition counters, so a change between two polls
        // (a short ring pulse) is not lost.
        connect(&statusPoll_, &QTimer::timeout, this, &SerialLineDevice::PollStatus);
        statusPoll_.start(kTickMs);
    }
}

LineSettings SerialLineDevice::CurrentSettings() const
{
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0)
        return LineSettings{};
    return LineSettingsOf(tio);
}

QByteArray SerialLineDevice::Read(qint64 max)
{
    if (max <= 0 || readFailed_)
        return {};
    QByteArray data(static_cast<qsizetype>(max), Qt::Uninitialized);
    const ssize_t n = ::read(fd_, data.data(), static_cast<size_t>(max));
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return {};
    if (n <= 0) {
        // The far end is gone (a hung-up line or a pty without its master):
        // stop listening instead of waking up for the same error forever.
        readFailed_ = true;
        if (readNotifier_)
            readNotifier_->setEnabled(false);
        return {};
    }
    data.truncate(n);
    return data;
}

qint64 SerialLineDevice::Write(const QByteArray& data)
{
    if (data.isEmpty())
        return 0;
    const ssize_t n = ::write(fd_, data.constData(), static_cast<size_t>(data.size()));
    const qint64 taken = n > 0 ? n : 0;
    if (taken < data.size() && writeNotifier_)
        writeNotifier_->setEnabled(true);
    return taken;
}

qint64 SerialLineDevice::BytesQueued() const
{
    int queued = 0;
    if (ioctl(fd_, TIOCOUTQ, &queued) != 0)
        return 0;
    return queued;
}

void SerialLineDevice::SetReadSuspended(bool suspended)
{
    readSuspended_ = suspended;
    if (readNotifier_)
        readNotifier_->setEnabled(!suspended && !readFailed_);
}

void SerialLineDevice::SetOutputLines(bool dtr, bool rts)
{
    if (!hasModemLines_)
        return;
    int bits = TIOCM_DTR;
    ioctl(fd_, dtr ? TIOCMBIS : TIOCMBIC, &bits);
    bits = TIOCM_RTS;
    ioctl(fd_, rts ? TIOCMBIS : TIOCMBIC, &bits);
}

ModemLevels SerialLineDevice::Levels() const
{
    if (!hasModemLines_)
        return ModemLevels{true, true, true, false};
    int bits = 0;
    if (ioctl(fd_, TIOCMGET, &bits) != 0)
        return levels_;
    return ModemLevels{(bits & TIOCM_CTS) != 0, (bits & TIOCM_DSR) != 0, (bits & TIOCM_CAR) != 0,
                       (bits & TIOCM_RNG) != 0};
}

bool SerialLineDevice::ReadCounters(Counters& counters) const
{
    serial_icounter_struct icount{};
    if (ioctl(fd_, TIOCGICOUNT, &icount) != 0)
        return false;
    counters = Counters{icount.cts, icount.dsr, icount.rng, icount.dcd,
                        icount.frame, icount.parity, icount.overrun, icount.brk};
    return true;
}

void SerialLineDevice::PollStatus()
{
    const ModemLevels now = Levels();
    int modemChanges = 0;
    int lineConditions = 0;
    Counters counts;
    if (hasCounters_ && ReadCounters(counts)) {
        if (counts.cts != counters_.cts) modemChanges |= msCTSDelta;
        if (counts.dsr != counters_.dsr) modemChanges |= msDSRDelta;
        if (counts.dcd != counters_.dcd) modemChanges |= msDCDDelta;
        if (counts.rng != counters_.rng) modemChanges |= msRingDelta;
        if (counts.overrun != counters_.overrun) lineConditions |= lsOverrun;
        if (counts.parity != counters_.parity) lineConditions |= lsParity;
        if (counts.frame != counters_.frame) lineConditions |= lsFraming;
        if (counts.brk != counters_.brk) lineConditions |= lsBreak;
        counters_ = counts;
    }
    if (now.cts != levels_.cts) modemChanges |= msCTSDelta;
    if (now.dsr != levels_.dsr) modemChanges |= msDSRDelta;
    if (now.dcd != levels_.dcd) modemChanges |= msDCDDelta;
    if (now.ri != levels_.ri) modemChanges |= msRingDelta;
    levels_ = now;
    if (modemChanges || lineConditions)
        emit StatusChanged(modemChanges, lineConditions);
}
