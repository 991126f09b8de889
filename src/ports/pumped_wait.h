#pragma once
#include <functional>

// Waiting on the main thread without blocking the event loop. Every wait here
// keeps notifications, timers and posted events flowing, and none sleeps more
// than 250 ms at a time or past an arriving event.

constexpr int kMaxWaitSliceMs = 250;

// Handles every event that is pending now, then returns.
void ProcessPendingEvents();

// Blocks in the event loop until an event arrives or min(maxMs, 250) ms have
// passed, and handles what arrived. Without an application object it sleeps.
void WaitForEvents(int maxMs);

// Waits up to `ticks` ticks while pumping events. Each turn handles pending
// events, then tests `stop`; returns true as soon as `stop` holds, false when
// the time is up.
bool PumpedWait(int ticks, const std::function<bool()>& stop = {});

// Waits `ticks` ticks; with `yield` events keep being handled meanwhile,
// without it the thread simply sleeps.
void DelayTicks(int ticks, bool yield);
