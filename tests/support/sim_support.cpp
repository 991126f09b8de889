#include "sim_support.h"

#include "relay/frames.h"
#include "test_env.h"

#include <QRegularExpression>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>


namespace sim {

namespace {

constexpr int waitMs = 30000;

// Whether fd has something to read (data, end of stream or an error) within
// the limit: no read here blocks longer, whatever the socket's own options.
bool Readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    int rc;
    do
        rc = ::poll(&p, 1, waitMs);
    while (rc < 0 && errno == EINTR);
    return rc > 0;
}

QString ToolPath(const char* program)
{
    return QString::fromStdString(ProgramPath(program));
}

}  // namespace

ToolProcess::ToolProcess(const char* program, const QStringList& arguments)
{
    process_.start(ToolPath(program), arguments);
    process_.waitForStarted(waitMs);
}

ToolProcess::~ToolProcess()
{
    if (process_.state() != QProcess::NotRunning)
        terminate();
}

void ToolProcess::collect()
{
    output_ += QString::fromUtf8(process_.readAllStandardOutput());
    errors_ += QString::fromUtf8(process_.readAllStandardError());
}

std::uint16_t ToolProcess::waitForListening()
{
    static const QRegularExpression line("listening on [^:\\s]+:(\\d+)\\n");
    for (;;) {
        collect();
        QRegularExpressionMatch match = line.match(output_);
        if (match.hasMatch())
            return static_cast<std::uint16_t>(match.captured(1).toUInt());
        if (!process_.waitForReadyRead(waitMs))
            return 0;
    }
}

bool ToolProcess::waitForOutput(const QString& text)
{
    for (;;) {
        collect();
        if (output_.contains(text))
            return true;
        if (!process_.waitForReadyRead(waitMs))
            return false;
    }
}

int ToolProcess::terminate()
{
    process_.terminate();
    return waitForExit();
}

int ToolProcess::waitForExit()
{
    // A program that ended already is not waited for again.
    bool finished = process_.state() == QProcess::NotRunning || process_.waitForFinished(waitMs);
    collect();
    if (!finished || process_.exitStatus() != QProcess::NormalExit)
        return -1;
    return process_.exitCode();
}

int ConnectLoopback(std::uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    timeval limit{waitMs / 1000, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

bool SendAll(int fd, const std::string& bytes)
{
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool ReceiveExact(int fd, size_t size, std::string& bytes)
{
    bytes.assign(size, '\0');
    size_t done = 0;
    while (done < size) {
        if (!Readable(fd))
            return false;
        ssize_t got = ::recv(fd, bytes.data() + done, size - done, 0);
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

bool ReceivesEndOfStream(int fd)
{
    char byte;
    return Readable(fd) && ::recv(fd, &byte, 1, 0) == 0;
}

std::string EncodeUpstreamFrame(const std::string& sequence12, const std::string& data)
{
    return BuildLengthHeader16(sequence12, static_cast<int>(data.size())) + data;
}

bool ReceiveUpstreamFrame(int fd, UpstreamFrame& frame)
{
    std::string header;
    if (!ReceiveExact(fd, kUpstreamHeaderSize, header))
        return false;
    frame.lengthField = ReadBigEndian32(header.data());
    frame.sequence = header.substr(4, kTuqSequenceSize);
    long long size = DeclaredDataLength16(header.data());
    return size >= 0 && size <= kMaxFrameData && ReceiveExact(fd, static_cast<size_t>(size), frame.data);
}

std::string ClaimWithPrescription(const std::string& rxNumber7)
{
    return "610020" "51" "B1" "TUQSIM    " "1" "01" "1234567893     " "20261209" "CORVANESIM"
           "\x1e\x1c" "AM01" "\x1c" "C419800101"
           "\x1d\x1e\x1c" "AM07" "\x1c" "EM1" "\x1c" "D2" + rxNumber7 + "\x1c" "E103";
}

int UnusedLoopbackPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

}  // namespace sim
