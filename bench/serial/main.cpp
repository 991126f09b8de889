// bench_serial: claims through Corvane's modem on a serial line (VISA II,
// LRC, no ENQ pause) against the same claims on Corvane's inbound socket
// port, in one run, both through Corvane's relay to the switch simulator.
#include "bench_programs.h"
#include "config/settings.h"
#include "pty_pair.h"
#include "relay/socket_util.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

constexpr int claims = 200;
constexpr int waitMs = 60000;

void CommonSettings(const std::string& name, std::uint16_t switchPort, std::uint16_t inboundPort)
{
    SetConfigName(name);
    SetInboundHostName("127.0.0.1");
    SetInboundPort(inboundPort);
    SetInboundSocketFormat(1);
    SetEnableNetwork1(true);
    SetOutboundHostName1("127.0.0.1");
    SetOutboundPort1A(switchPort);
    SetOutboundPort1B(0);
    SetEnableOutboundTwofishSecurity(true);
    SetSystemID("BENCH");
}

// corvane as a child process, stopped with SIGTERM on destruction.
class Corvane {
public:
    explicit Corvane(const char* configName)
    {
        // Its status line per step would drown the summary.
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.start(ProgramPath("corvane"), {"/config", configName, "-headless"});
    }
    ~Corvane()
    {
        process_.terminate();
        process_.waitForFinished(waitMs);
    }

private:
    QProcess process_;
};

// The relay of the socket source listens once it has started.
bool WaitForListener(std::uint16_t port)
{
    for (int tries = 0; tries < waitMs / 50; ++tries) {
        QTcpSocket socket;
        socket.connectToHost("127.0.0.1", port);
        // A connection to itself (same local and remote port) is no listener.
        if (socket.waitForConnected(1000) && socket.localPort() != port)
            return true;
        QThread::msleep(50);
    }
    return false;
}

void Print(const char* road, const std::optional<LoadResult>& result)
{
    if (result)
        std::printf(" %s=%.0f/s p50=%.2fms p99=%.2fms", road, result->claimsPerSecond, result->p50Ms,
                    result->p99Ms);
    else
        std::printf(" %s=failed", road);
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
    qunsetenv("CORVANE_SETTINGS");

    PtyPair ptys;
    SwitchSimulator simulator({"--twofish"});
    std::uint16_t serialRelayPort = FreeLoopbackPort();
    int freeAfter = FindFreeListenPort("127.0.0.1", serialRelayPort + 1, nullptr);
    std::uint16_t socketPort = static_cast<std::uint16_t>(freeAfter > 0 ? freeAfter : 0);
    if (!ptys.Ready() || simulator.port() == 0 || serialRelayPort == 0 || socketPort == 0) {
        std::fprintf(stderr, "bench_serial: socat or the switch simulator did not start\n");
        return 1;
    }

    CommonSettings("Serial", simulator.port(), serialRelayPort);
    SetDataSourceSerialPort();
    SetComNumber(1);
    SetComPortDevice(1, ptys.PathB());
    SetLrc(true);
    SetVisa2(true);
    SetEnqHalfSecDelay(false);
    CommonSettings("Socket", simulator.port(), socketPort);
    SetDataSourceSocketPort();

    Corvane serialCorvane("Serial");
    Corvane socketCorvane("Socket");
    if (!WaitForListener(socketPort)) {
        std::fprintf(stderr, "bench_serial: corvane's socket source did not open\n");
        return 1;
    }
    auto serial = RunPharmacy({"--serial", QString::fromStdString(ptys.PathA()), "--profile", "0", "--lrc",
                               "--visa2", "--claims", QString::number(claims), "--expect-paid", "--timeout",
                               "30"});
    auto socket = RunPharmacy({"--port", QString::number(socketPort), "--framing", "mxsock", "--twofish",
                               "--connections", "1", "--claims", QString::number(claims), "--expect-paid"});
    std::printf("serial claims=%d", claims);
    Print("via_serial", serial);
    Print("via_socket", socket);
    if (serial && socket)
        std::printf(" added_p50=%.2fms", serial->p50Ms - socket->p50Ms);
    std::printf("\n");
    return serial && socket ? 0 : 1;
}
