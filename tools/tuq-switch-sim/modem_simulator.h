#pragma once
#include "modem_line.h"
#include "switch_options.h"
#include "visa_switch.h"

#include <memory>
#include <string>

// The pharmacy's modem and the switch behind it, on one serial device: Hayes
// command mode, dials, and the switch's side of each call.
class ModemSimulator {
public:
    ModemSimulator(const ModemOptions& options, int stopFd);

    // Serves the device until stopFd becomes readable (0), or returns 1 when
    // the device cannot be opened or did not come back after it was lost.
    int run();

private:
    // What the modem sends back for the bytes from the caller.
    std::string take(const std::string& bytes);
    void commandByte(char c, std::string& out);
    void onlineByte(char c, std::string& out);
    void runCommandLine(const std::string& line, std::string& out);
    void dial(const std::string& number, std::string& out);
    // Text the switch does not understand, said during a call: the escape or
    // a command line from a caller that dropped the line.
    void strayByte(char c, std::string& out);
    void endCall(const std::string& reason);
    void report(const std::string& text) const;

    const ModemOptions& options_;
    ModemLine line_;
    bool echo_ = true;
    std::string commandLine_;
    std::unique_ptr<VisaSwitch> call_;  // the call that is up, if any
    bool online_ = false;               // bytes go to the switch, not to the command reader
    std::string strayText_;
    unsigned authorizations_ = 0;
    int dials_ = 0;
    int calls_ = 0;
};
