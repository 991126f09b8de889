#include "transports/dial_up_modem_release.h"

#include "base/general_log.h"
#include "ports/port_ticks.h"
#include "ports/pumped_wait.h"
#include "transports/dial_up_dialer.h"

int ReleaseModemFromDialUp(const std::string& device)
{
    int hungUp = 0;
    try {
        // A dialer of its own: it hangs up nothing else when it goes.
        DialUpDialer dialer;
        for (const std::string& name : dialer.ConnectionsOnDevice(device)) {
            LogMsg("Hanging up Dial-Up connection so associated modem can be used for TAPI claim submittal.");
            dialer.HangupConnection(name);
            ++hungUp;
            LogMsg("Dial-Up connection successfully hung up.");
            LogMsg("Pausing three seconds before allowing TAPI to dial.");
            DelayTicks(Secs2Ticks(3), true);
        }
    } catch (const std::exception&) {
        LogMsg("In TapiConnect function, RAS threw an exception.  Ignoring.");
    }
    return hungUp;
}
