#pragma once
#include <string>

// What the modem side (Corvane's modem emulator) answers, byte for byte, in
// each pharmacy-system profile 0 to 7. It follows the echo setting that the
// command lines switch, as the modem does.
class ModemDialogue {
public:
    ModemDialogue(int profile, int baud);

    // An ordinary or reset command line, CR included, while no call is up.
    std::string commandAnswer(const std::string& line);
    // The answer to a tone dial that reaches the switch: echo, connect
    // report, ENQ(s).
    std::string dialAnswer(const std::string& line);
    // The answer to a tone dial that could not reach the switch.
    std::string failedDialAnswer(const std::string& line);
    // The answer to "+++" during a call.
    std::string escapeAnswer() const;
    // The answer to a hang-up command line during a call.
    std::string hangupAnswer(const std::string& line);
    // What ends a call from the modem side: EOT and the NO CARRIER report.
    std::string callEnding() const;
    std::string noCarrierReport() const;
    // The byte that acknowledges a response packet in this profile.
    char acknowledgement() const;

private:
    void followEchoSetting(const std::string& line);
    std::string dialEcho(const std::string& line);
    std::string connectReport() const;
    std::string enqs() const;

    int profile_;
    int baud_;
    bool numericCodes_;
    bool echo_;
};
