#include "ports/pumped_wait.h"

#include "ports/port_ticks.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <thread>

void ProcessPendingEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitForEvents(int maxMs)
{
    const int sliceMs = std::clamp(maxMs, 0, kMaxWaitSliceMs);
    if (!QCoreApplication::instance()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(sliceMs));
        return;
    }
    if (sliceMs == 0) {
        ProcessPendingEvents();
        return;
    }
    // The bound is itself an event, so the blocking call returns at the
    // latest when it fires, and at once when anything else arrives first.
    QTimer bound;
    bound.setSingleShot(true);
    bound.setTimerType(Qt::PreciseTimer);
    bound.start(sliceMs);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool PumpedWait(int ticks, const std::function<bool()>& stop)
{
    const EventTimer timer = NewTimer(ticks);
    for (;;) {
        ProcessPendingEvents();
        if (stop && stop())
            return true;
        if (TimerExpired(timer))
            return false;
        const long long left = RemainingTime(timer);
        WaitForEvents(left > 0 ? Ticks2Ms(left) : MsToNextTick());
    }
}

void DelayTicks(int ticks, bool yield)
{
    if (yield) {
        PumpedWait(ticks);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long long>(ticks) * kTickMs));
}
