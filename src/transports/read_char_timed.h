#pragma once
#include "base/controller_state.h"
#include "ports/comm_port.h"

// Waits at most `seconds` for one byte on port while pumping events; false
// on time-out, cancel, a port error in state, a port that can bring no more
// bytes, or an exception.
bool ReadCharTimed(TApdWinsockPort& port, int seconds, char& c, const ControllerState& state);
