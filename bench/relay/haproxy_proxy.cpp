#include "haproxy_proxy.h"

#include "bench_programs.h"

#include <QFile>
#include <QStandardPaths>
#include <unistd.h>

namespace {

constexpr int startWaitMs = 10000;

QString Config(std::uint16_t listenPort, std::uint16_t switchPort)
{
    return QString("global\n"
                   "    nbthread 1\n"
                   "    maxconn 1000\n"
                   "defaults\n"
                   "    mode tcp\n"
                   "    timeout connect 5s\n"
                   "    timeout client 60s\n"
                   "    timeout server 60s\n"
                   "frontend pharmacies\n"
                   "    bind 127.0.0.1:%1\n"
                   "    default_backend switch\n"
                   "backend switch\n"
                   "    server sim 127.0.0.1:%2\n")
        .arg(listenPort)
        .arg(switchPort);
}

bool Accepts(std::uint16_t port)
{
    int fd = ConnectLoopback(port);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

}  // namespace

HaproxyProxy::HaproxyProxy(const QString& folder, std::uint16_t switchPort)
{
    QString program = QStandardPaths::findExecutable("haproxy", {"/usr/sbin", "/usr/local/sbin", "/sbin"});
    if (program.isEmpty())
        program = QStandardPaths::findExecutable("haproxy");
    if (program.isEmpty()) {
        missing_ = "haproxy is not installed";
        return;
    }
    std::uint16_t port = FreeLoopbackPort();
    QFile config(folder + "/haproxy.cfg");
    if (port == 0 || !config.open(QIODevice::WriteOnly) || config.write(Config(port, switchPort).toUtf8()) < 0) {
        missing_ = "no port or configuration file for haproxy";
        return;
    }
    config.close();
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // -db: stay in the foreground, so that terminating the process stops it.
    process_.start(program, {"-db", "-f", config.fileName()});
    port_ = port;
    if (!waitUntilListening()) {
        port_ = 0;
        missing_ = "haproxy did not start";
    }
}

HaproxyProxy::~HaproxyProxy()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(startWaitMs))
        process_.kill();
    process_.waitForFinished(startWaitMs);
}

bool HaproxyProxy::waitUntilListening()
{
    if (!process_.waitForStarted(startWaitMs))
        return false;
    for (int waited = 0; waited < startWaitMs; waited += 20) {
        if (Accepts(port_))
            return true;
        // Doubles as the pause between tries; true means haproxy gave up.
        if (process_.waitForFinished(20))
            return false;
    }
    return false;
}
