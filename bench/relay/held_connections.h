#pragma once
#include <cstdint>

// Opens count connections to the relay and keeps them open: a claim goes on
// the first, the middle and the last of them while the others stay idle,
// then all sit idle for idleSeconds. Prints one line with the connections
// held, the claims answered and the slowest answer, and this process's
// resident memory and CPU share while idle (the relay thread is the only
// busy thread then, so the CPU is the relay's; the memory is an upper bound).
// False when a connection or a claim failed.
bool MeasureHeldConnections(std::uint16_t relayPort, int count, int idleSeconds);
