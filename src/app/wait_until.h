#pragma once
#include <functional>

// Keeps the event loop running in slices of at most sliceMs until done()
// holds or timeoutMs has passed (a negative timeout waits without limit).
// Returns whether done() held.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs, int sliceMs);
