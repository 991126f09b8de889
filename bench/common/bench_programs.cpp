#include "bench_programs.h"

#include "relay/socket_util.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int waitMs = 60000;

}  // namespace

QString ProgramPath(const char* name)
{
    return QFileInfo("/proc/self/exe").symLinkTarget().section('/', 0, -2) + "/" + name;
}

std::uint16_t FreeLoopbackPort()
{
    // A seed that differs per process, so that two runs side by side rarely
    // meet; below 32768, where the system does not pick the local ports of
    // outgoing connections, so none of them takes the port before it is used.
    int port = FindFreeListenPort("127.0.0.1", 20000 + static_cast<int>(getpid() % 12000), nullptr);
    return port > 0 ? static_cast<std::uint16_t>(port) : 0;
}

int ConnectLoopback(std::uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    ::close(fd);
    return -1;
}

SwitchSimulator::SwitchSimulator(const QStringList& options)
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(ProgramPath("tuq-switch-sim"), QStringList{"--port", "0"} + options);
    static const QRegularExpression line("listening on [^:\\s]+:(\\d+)\\n");
    QString output;
    while (process_.waitForReadyRead(waitMs)) {
        output += QString::fromUtf8(process_.readAllStandardOutput());
        QRegularExpressionMatch match = line.match(output);
        if (match.hasMatch()) {
            port_ = static_cast<std::uint16_t>(match.captured(1).toUInt());
            return;
        }
    }
}

SwitchSimulator::~SwitchSimulator()
{
    process_.terminate();
    process_.waitForFinished(waitMs);
}

std::optional<LoadResult> RunPharmacyLoad(std::uint16_t port, int clients, int claimsPerClient,
                                          const QStringList& options)
{
    return RunPharmacy(QStringList{"--port", QString::number(port), "--framing", "tuq", "--expect-paid",
                                   "--connections", QString::number(clients), "--claims",
                                   QString::number(claimsPerClient)}
                       + options);
}

std::optional<LoadResult> RunPharmacy(const QStringList& arguments)
{
    QProcess pharmacy;
    pharmacy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    pharmacy.start(ProgramPath("pharmacy-sim"), arguments);
    if (!pharmacy.waitForFinished(waitMs) || pharmacy.exitStatus() != QProcess::NormalExit
        || pharmacy.exitCode() != 0)
        return std::nullopt;

    static const QRegularExpression summary("rate=([0-9.]+)/s p50=([0-9.]+)ms p99=([0-9.]+)ms");
    QRegularExpressionMatch match = summary.match(QString::fromUtf8(pharmacy.readAllStandardOutput()));
    if (!match.hasMatch())
        return std::nullopt;
    return LoadResult{match.captured(1).toDouble(), match.captured(2).toDouble(), match.captured(3).toDouble()};
}
