#include "modem_line.h"

#include "ports/serial_line_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

constexpr int writeLimitMs = 10000;
constexpr int reopenLimitMs = 30000;
constexpr int reopenStepMs = 250;

std::string SystemText()
{
    return std::strerror(errno);
}

}  // namespace

ModemLine::ModemLine(std::string device, int stopFd) : device_(std::move(device)), stopFd_(stopFd)
{
}

ModemLine::~ModemLine()
{
    close();
}

void ModemLine::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool ModemLine::open(std::string& error)
{
    close();
    fd_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error = "cannot open " + device_ + ": " + SystemText();
        return false;
    }
    termios tio{};
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0)
        error = device_ + " is in use by another program";
    else if (!::isatty(fd_) || ::tcgetattr(fd_, &tio) != 0)
        error = device_ + " is not a serial device";
    else {
        SetLineTermios(tio, LineSettings{});
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0)
            error = "cannot set up " + device_ + ": " + SystemText();
    }
    if (!error.empty()) {
        close();
        return false;
    }
    // Whatever was waiting belongs to an earlier conversation.
    ::tcflush(fd_, TCIOFLUSH);
    return true;
}

bool ModemLine::reopen(std::string& error)
{
    close();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(reopenLimitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        error.clear();
        if (open(error))
            return true;
        pollfd stop{stopFd_, POLLIN, 0};
        if (::poll(&stop, 1, reopenStepMs) > 0) {
            error.clear();
            return false;
        }
    }
    error = device_ + " did not come back: " + error;
    return false;
}

bool ModemLine::waitFor(short events, int timeoutMs, short& revents)
{
    pollfd fds[2] = {{fd_, events, 0}, {stopFd_, POLLIN, 0}};
    int ready;
    do
        ready = ::poll(fds, 2, timeoutMs);
    while (ready < 0 && errno == EINTR);
    revents = ready > 0 ? fds[0].revents : 0;
    return ready <= 0 || fds[1].revents == 0;
}

ModemLine::Input ModemLine::read(std::string& bytes)
{
    for (;;) {
        short revents = 0;
        if (!waitFor(POLLIN, -1, revents))
            return Input::Stop;
        char buf[512];
        ssize_t got = ::read(fd_, buf, sizeof buf);
        if (got > 0) {
            bytes.assign(buf, static_cast<size_t>(got));
            return Input::Bytes;
        }
        // The far end of a pty gone: end of file, EIO or a hang-up.
        if (got == 0 || (errno != EAGAIN && errno != EINTR))
            return Input::Lost;
    }
}

bool ModemLine::write(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t wrote = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (wrote > 0) {
            done += static_cast<size_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        short revents = 0;
        if (!waitFor(POLLOUT, writeLimitMs, revents) || revents == 0 || (revents & (POLLERR | POLLHUP)))
            return false;
    }
    return true;
}
