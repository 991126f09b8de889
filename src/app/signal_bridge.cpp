#include "app/signal_bridge.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int pipeFds[2] = {-1, -1};

void OnSignal(int signalNumber)
{
    unsigned char code = static_cast<unsigned char>(signalNumber);
    ssize_t ignored = ::write(pipeFds[1], &code, 1);
    (void)ignored;
}

void Install(int signalNumber)
{
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

SignalBridge::SignalBridge(QObject* parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeFds) != 0)
        return;
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalBridge::ReadPipe);
    Install(SIGTERM);
    Install(SIGINT);
    Install(SIGHUP);
}

SignalBridge::~SignalBridge()
{
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGHUP, SIG_DFL);
    if (pipeFds[0] >= 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        pipeFds[0] = pipeFds[1] = -1;
    }
}

void SignalBridge::ReadPipe()
{
    unsigned char code = 0;
    while (::read(pipeFds[0], &code, 1) == 1) {
        if (code == SIGHUP)
            emit ReloadRequested();
        else
            emit TerminateRequested(code);
    }
}
