#pragma once

// Time in the port layer is counted in ticks of 55 ms (18.2 per second).

constexpr int kTickMs = 55;

// The monotonic millisecond clock divided by the tick length.
long long TickCount();

// Milliseconds until the tick count next advances (1 to 55).
int MsToNextTick();

// seconds * 1675 / 92 in integer arithmetic: 1 s is 18 ticks, 10 s is 182.
int Secs2Ticks(int seconds);

// Fractional seconds to ticks, rounded: trunc(seconds * 18.2 + 0.5).
int FractionalSecs2Ticks(double seconds);

// Ticks to whole milliseconds: ticks * 1000 / 18.2, truncated.
int Ticks2Ms(long long ticks);

// A start tick and a length; expired once the tick count passes start + length.
struct EventTimer {
    long long startTick = 0;
    long long lengthTicks = 0;
};

EventTimer NewTimer(int ticks);
EventTimer NewTimerSecs(int seconds);
bool TimerExpired(const EventTimer& timer);
// Ticks left until expiry, never below 0.
long long RemainingTime(const EventTimer& timer);
