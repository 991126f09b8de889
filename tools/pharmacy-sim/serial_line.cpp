#include "serial_line.h"

#include "ports/port_errors.h"
#include "ports/serial_line_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string SystemText()
{
    return std::strerror(errno);
}

}  // namespace

SerialLine::SerialLine(const std::string& device, int baud) : device_(device)
{
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        throw DialogueError("cannot open " + device + ": " + SystemText());
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0)
        closeAndFail(device + " is in use by another program");
    termios tio{};
    if (!::isatty(fd_) || ::tcgetattr(fd_, &tio) != 0)
        closeAndFail(device + " is not a serial device");
    try {
        SetLineTermios(tio, LineSettings{baud, pNone, 8, 1});
    } catch (const EPortError& e) {
        closeAndFail(device + ": " + e.what());
    }
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0)
        closeAndFail("cannot set up " + device + ": " + SystemText());
    // Whatever was waiting belongs to an earlier conversation.
    ::tcflush(fd_, TCIOFLUSH);
}

void SerialLine::closeAndFail(const std::string& message)
{
    ::close(fd_);
    throw DialogueError(message);
}

SerialLine::~SerialLine()
{
    ::close(fd_);
}

bool SerialLine::waitFor(short events, int timeoutMs)
{
    pollfd p{fd_, events, 0};
    int ready;
    do
        ready = ::poll(&p, 1, timeoutMs);
    while (ready < 0 && errno == EINTR);
    if (ready < 0)
        throw DialogueError("cannot wait on " + device_ + ": " + SystemText());
    return ready > 0;
}

void SerialLine::write(const std::string& bytes, int timeoutMs)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t wrote = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (wrote > 0) {
            done += static_cast<size_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote < 0 && errno != EAGAIN)
            throw DialogueError("cannot write to " + device_ + ": " + SystemText());
        if (!waitFor(POLLOUT, timeoutMs))
            throw DialogueError("the line " + device_ + " took no data for the whole time-out");
    }
}

std::optional<char> SerialLine::readByte(int timeoutMs)
{
    while (pendingAt_ == pending_.size()) {
        if (!waitFor(POLLIN, timeoutMs))
            return std::nullopt;
        char buf[512];
        ssize_t got = ::read(fd_, buf, sizeof buf);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (got <= 0)
            throw DialogueError("the line " + device_ + " was closed or failed while reading"
                                + (got < 0 ? ": " + SystemText() : std::string()));
        pending_.assign(buf, static_cast<size_t>(got));
        pendingAt_ = 0;
    }
    return pending_[pendingAt_++];
}
