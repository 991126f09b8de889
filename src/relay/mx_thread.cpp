#include "relay/mx_thread.h"

#include "relay/mx_server.h"
#include "base/net_log.h"
#include "relay/socket_util.h"

#include <csignal>
#include <pthread.h>

namespace {

std::atomic<TMxSockThread*> currentMxSockThread{nullptr};

// A send to a peer that has gone must fail with EPIPE, not end the process.
void BlockBrokenPipeSignal()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

} // namespace

TMxSockThread::TMxSockThread(RelayCallbacks callbacks)
    : callbacks_(std::move(callbacks))
{
    currentMxSockThread = this;
}

TMxSockThread::~TMxSockThread()
{
    Terminate();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
    TMxSockThread* self = this;
    currentMxSockThread.compare_exchange_strong(self, nullptr);
}

void TMxSockThread::Resume()
{
    if (!thread_.joinable() && !finished_)
        thread_ = std::thread(&TMxSockThread::Execute, this);
}

void TMxSockThread::Terminate()
{
    terminated_ = true;
    WakeWinSelect();
}

bool TMxSockThread::Terminated() const
{
    return terminated_;
}

bool TMxSockThread::Finished() const
{
    return finished_;
}

void TMxSockThread::Execute()
{
    BlockBrokenPipeSignal();
    mxtuq_svr(*this);
    finished_ = true;
    if (callbacks_.OnTerminate)
        callbacks_.OnTerminate();
}

TMxSockThread* CurrentMxSockThread()
{
    return currentMxSockThread;
}

bool mxSockShouldTerminate()
{
    TMxSockThread* thread = currentMxSockThread;
    if (thread && !thread->Terminated())
        return false;
    mxLog("mxSockShouldTerminate() returning true");
    return true;
}
