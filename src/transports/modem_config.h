#pragma once
#include <string>

// The modem settings kept in the TapiConfig block, as text lines
// "Name=Value" (the block is stored and read back unchanged):
//   InitString=AT&FE1V1        sent after a reset (ATZ), answered by OK
//   Speed=19200                the line speed to the modem
//   FlowControl=RtsCts         RtsCts, XonXoff or None
//   DialPrefix=ATDT            ATDT tone, ATDP pulse
//   WaitForDialTone=1          0 dials without waiting for a dial tone (X3)
// Unknown names are kept but ignored; a missing name takes its default.
struct ModemConfig {
    std::string initString = "AT&FE1V1";
    int speed = 19200;
    std::string flowControl = "RtsCts";
    std::string dialPrefix = "ATDT";
    bool waitForDialTone = true;

    // The block's text; an empty block gives the defaults.
    static ModemConfig Parse(const std::string& text);
    std::string Format() const;
};
