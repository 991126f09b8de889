#pragma once
#include "switch_options.h"

#include <string>

// The switch's end of one call: invites claims with ENQ, reads claim frames
// (STX, claim, ETX, check byte) and answers each with the paid response in
// the same framing, as the modem faults ask. It only reacts to bytes, so it
// needs no clock.
class VisaSwitch {
public:
    // What the switch does about one byte from the caller.
    struct Reply {
        std::string bytes;  // to send to the caller
        bool hangUp = false;
        bool stray = false;  // the byte means nothing to the switch (outside a frame)
        std::string event;   // a line for the log, or empty
    };

    // authorizations numbers the paid answers across all calls.
    VisaSwitch(const ModemOptions& options, unsigned& authorizations);

    // What the switch sends when the call comes up.
    std::string greeting() const;
    Reply take(char byte);

private:
    enum class State { Waiting, InFrame, AwaitingLrc };

    Reply takeOutsideFrame(char byte);
    Reply takeFrameByte(char byte);
    Reply answerClaim();
    Reply acknowledged();
    Reply resendResponse();

    const ModemOptions& options_;
    unsigned& authorizations_;
    State state_ = State::Waiting;
    std::string claim_;
    std::string response_;  // the good frame of the unacknowledged response, or empty
    int claims_ = 0;        // good claim frames of this call
    bool nakSent_ = false;     // --nak-first done on this call
    bool badLrcSent_ = false;  // --bad-lrc done on this call
};
