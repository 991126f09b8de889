#include "ports/port_ticks.h"

#include <climits>

#include <chrono>

static long long ClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

long long TickCount()
{
    return ClockMs() / kTickMs;
}

int MsToNextTick()
{
    return kTickMs - static_cast<int>(ClockMs() % kTickMs);
}

int Secs2Ticks(int seconds)
{
    return static_cast<int>(static_cast<long long>(seconds) * 1675 / 92);
}

int FractionalSecs2Ticks(double seconds)
{
    return static_cast<int>(seconds * 18.2 + 0.5);
}

int Ticks2Ms(long long ticks)
{
    double ms = static_cast<double>(ticks) * 1000.0 / 18.2;
    return ms >= INT_MAX ? INT_MAX : static_cast<int>(ms);
}

EventTimer NewTimer(int ticks)
{
    return EventTimer{TickCount(), ticks};
}

EventTimer NewTimerSecs(int seconds)
{
    return NewTimer(Secs2Ticks(seconds));
}

bool TimerExpired(const EventTimer& timer)
{
    return TickCount() > timer.startTick + timer.lengthTicks;
}

long long RemainingTime(const EventTimer& timer)
{
    const long long left = timer.startTick + timer.lengthTicks - TickCount();
    return left > 0 ? left : 0;
}
