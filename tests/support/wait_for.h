#pragma once
#include <functional>

// The tests' one wait: keeps the event loop running (ports, timers, sockets,
// queued calls) until done() holds; false after `seconds`. The limit is
// generous: a busy machine is slow, not wrong.
bool WaitFor(const std::function<bool()>& done, int seconds = 60);
