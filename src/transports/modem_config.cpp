#include "transports/modem_config.h"

#include <sstream>

namespace {

std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    size_t start = text.find_first_not_of(' ');
    return start == std::string::npos ? std::string() : text.substr(start);
}

}  // namespace

ModemConfig ModemConfig::Parse(const std::string& text)
{
    ModemConfig config;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string name = Trimmed(line.substr(0, equals));
        std::string value = Trimmed(line.substr(equals + 1));
        if (name == "InitString") {
            config.initString = value;
        } else if (name == "Speed") {
            try {
                config.speed = std::stoi(value);
            } catch (const std::exception&) {
            }
        } else if (name == "FlowControl") {
            config.flowControl = value;
        } else if (name == "DialPrefix") {
            config.dialPrefix = value;
        } else if (name == "WaitForDialTone") {
            config.waitForDialTone = value != "0";
        }
    }
    return config;
}

std::string ModemConfig::Format() const
{
    return "InitString=" + initString + "\nSpeed=" + std::to_string(speed) +
           "\nFlowControl=" + flowControl + "\nDialPrefix=" + dialPrefix +
           "\nWaitForDialTone=" + (waitForDialTone ? "1" : "0") + "\n";
}
