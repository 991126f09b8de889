#include "transports/read_char_timed.h"

#include "base/general_log.h"
#include "ports/port_ticks.h"
#include "ports/pumped_wait.h"

#include <algorithm>

namespace {

// A closed port, or a socket whose peer has gone, will never bring another
// byte: waiting out the reply limit would only hold the claim up.
bool CanStillDeliver(const TApdWinsockPort& port)
{
    return port.Open() && (port.DeviceLayer() != dlWinsock || port.Connected());
}

}  // namespace

bool ReadCharTimed(TApdWinsockPort& port, int seconds, char& c, const ControllerState& state)
{
    try {
        EventTimer timer = NewTimerSecs(seconds);
        while (!TimerExpired(timer) && !state.cancelRequested && state.switchError == 0) {
            ProcessPendingEvents();
            if (port.CharReady()) {
                c = port.GetChar();
                return true;
            }
            if (!CanStillDeliver(port))
                return false;
            // In the last tick nothing remains to sleep, but the timer has not
            // expired yet: wait for that tick instead of spinning.
            int remainingMs = Ticks2Ms(RemainingTime(timer));
            WaitForEvents(remainingMs > 0 ? std::min(kMaxWaitSliceMs, remainingMs) : MsToNextTick());
        }
    } catch (const std::exception& error) {
        LogMsg("ReadCharTimed Exception: '%s'", error.what());
    }
    return false;
}
