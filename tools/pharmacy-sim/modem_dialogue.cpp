#include "modem_dialogue.h"

#include <cctype>

namespace {

constexpr char ENQ = 0x05;
constexpr char EOT = 0x04;
constexpr char ACK = 0x06;
const std::string CRLF = "\r\n";
const std::string OK = "OK\r\n";

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

ModemDialogue::ModemDialogue(int profile, int baud)
    : profile_(profile), baud_(baud), numericCodes_(profile == 1), echo_(profile != 1)
{
}

// An E after a letter or digit of an AT line sets the echo: E0 off, E, E1
// or any other follower on. The line's own answer already obeys it.
void ModemDialogue::followEchoSetting(const std::string& line)
{
    const std::string upper = Upper(line);
    if (upper.rfind("AT", 0) != 0)
        return;
    const size_t e = upper.find('E');
    if (e == std::string::npos || e < 2 || !std::isalnum(static_cast<unsigned char>(upper[e - 1])))
        return;
    echo_ = !(e + 1 < upper.size() && upper[e + 1] == '0');
}

std::string ModemDialogue::commandAnswer(const std::string& line)
{
    followEchoSetting(line);
    if (numericCodes_)
        return echo_ ? line + CRLF : "";
    return (echo_ ? line + CRLF : CRLF) + OK;
}

std::string ModemDialogue::dialEcho(const std::string& line)
{
    followEchoSetting(line);
    if (echo_)
        return line + CRLF;
    const bool silent = numericCodes_ || profile_ == 3 || profile_ == 4 || profile_ == 5;
    return silent ? "" : CRLF;
}

std::string ModemDialogue::dialAnswer(const std::string& line)
{
    return dialEcho(line) + connectReport() + enqs();
}

std::string ModemDialogue::failedDialAnswer(const std::string& line)
{
    return dialEcho(line) + noCarrierReport();
}

std::string ModemDialogue::escapeAnswer() const
{
    std::string echo = echo_ ? "+++" + CRLF : (numericCodes_ ? "" : CRLF);
    return echo + noCarrierReport();
}

std::string ModemDialogue::hangupAnswer(const std::string& line)
{
    return commandAnswer(line) + noCarrierReport();
}

std::string ModemDialogue::callEnding() const
{
    return EOT + noCarrierReport();
}

std::string ModemDialogue::connectReport() const
{
    const std::string speed = std::to_string(baud_);
    if (numericCodes_)
        return "9\r";
    switch (profile_) {
    case 3: return CRLF + "CONNECT " + speed + "/NONE" + CRLF;
    case 4: return CRLF + "CONNECT 2400 NoEC" + CRLF;
    case 5: return CRLF + "CONNECT 2400" + CRLF;
    default: return "CONNECT " + speed + CRLF;
    }
}

std::string ModemDialogue::enqs() const
{
    const bool twoEnqs = profile_ == 2 || profile_ == 7;
    return std::string(twoEnqs ? 2 : 1, ENQ);
}

std::string ModemDialogue::noCarrierReport() const
{
    if (numericCodes_)
        return "3\r";
    if (profile_ == 2 || profile_ == 7)
        return CRLF + "NO CARRIER" + CRLF;
    return "NO CARRIER" + CRLF + "+++";
}

char ModemDialogue::acknowledgement() const
{
    return profile_ == 6 ? 'v' : ACK;
}
