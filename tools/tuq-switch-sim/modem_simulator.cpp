#include "modem_simulator.h"

#include "hayes_commands.h"

#include <cctype>
#include <cstdio>

namespace {

constexpr size_t maxCommandLine = 256;

std::string Result(const std::string& word)
{
    return "\r\n" + word + "\r\n";
}

bool StartsWithAt(const std::string& text, size_t at)
{
    return at + 1 < text.size() && std::toupper(static_cast<unsigned char>(text[at])) == 'A'
        && std::toupper(static_cast<unsigned char>(text[at + 1])) == 'T';
}

}  // namespace

ModemSimulator::ModemSimulator(const ModemOptions& options, int stopFd)
    : options_(options), line_(options.device, stopFd)
{
}

int ModemSimulator::run()
{
    std::string error;
    if (!line_.open(error)) {
        report(error);
        return 1;
    }
    std::printf("modem on %s\n", options_.device.c_str());
    std::fflush(stdout);
    for (;;) {
        std::string bytes;
        switch (line_.read(bytes)) {
        case ModemLine::Input::Stop:
            return 0;
        case ModemLine::Input::Bytes:
            if (!line_.write(take(bytes)))
                endCall("the caller took no data for 10 seconds");
            break;
        case ModemLine::Input::Lost:
            endCall("the line was lost");
            report("the line was lost, opening " + options_.device + " again");
            if (!line_.reopen(error)) {
                if (error.empty())
                    return 0;
                report(error);
                return 1;
            }
            report(options_.device + " is open again");
            break;
        }
    }
}

std::string ModemSimulator::take(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        if (online_)
            onlineByte(c, out);
        else
            commandByte(c, out);
    }
    return out;
}

void ModemSimulator::commandByte(char c, std::string& out)
{
    if (echo_)
        out += c;
    if (c == '\r') {
        const std::string line = commandLine_;
        commandLine_.clear();
        runCommandLine(line, out);
    } else if (c != '\n' && commandLine_.size() < maxCommandLine) {
        commandLine_ += c;
    }
}

void ModemSimulator::runCommandLine(const std::string& line, std::string& out)
{
    // Anything that is not a command line is line noise to a modem.
    if (!StartsWithAt(line, 0))
        return;
    const HayesRequest request = ParseHayesLine(line);
    if (request.error) {
        out += Result("ERROR");
        return;
    }
    if (request.echo)
        echo_ = *request.echo;
    if (request.hangUp)
        endCall("hung up by command");
    if (request.dial) {
        dial(*request.dial, out);
    } else if (request.online) {
        online_ = call_ != nullptr;
        out += Result(call_ ? "CONNECT " + std::to_string(options_.connectSpeed) : "NO CARRIER");
    } else {
        out += Result("OK");
    }
}

void ModemSimulator::dial(const std::string& number, std::string& out)
{
    endCall("a new dial");
    ++dials_;
    std::string result = "CONNECT " + std::to_string(options_.connectSpeed);
    if (options_.noCarrier)
        result = "NO CARRIER";
    else if (dials_ <= options_.busyDials)
        result = "BUSY";
    report("dial " + std::to_string(dials_) + " to " + number + ": " + result);
    out += Result(result);
    if (options_.noCarrier || dials_ <= options_.busyDials)
        return;
    ++calls_;
    call_ = std::make_unique<VisaSwitch>(options_, authorizations_);
    online_ = true;
    out += call_->greeting();
}

void ModemSimulator::onlineByte(char c, std::string& out)
{
    const VisaSwitch::Reply reply = call_->take(c);
    out += reply.bytes;
    if (!reply.event.empty())
        report("call " + std::to_string(calls_) + ": " + reply.event);
    if (reply.hangUp) {
        endCall("the switch hung up");
        out += Result("NO CARRIER");
    } else if (reply.stray) {
        strayByte(c, out);
    } else {
        strayText_.clear();
    }
}

void ModemSimulator::strayByte(char c, std::string& out)
{
    strayText_ += c;
    if (strayText_.size() >= 3 && strayText_.compare(strayText_.size() - 3, 3, "+++") == 0) {
        strayText_.clear();
        online_ = false;
        report("call " + std::to_string(calls_) + ": escape, the call is held in command mode");
        out += Result("OK");
        return;
    }
    if (c != '\r') {
        if (strayText_.size() > maxCommandLine)
            strayText_.erase(0, strayText_.size() - maxCommandLine);
        return;
    }
    size_t at = 0;
    while (at < strayText_.size() && !StartsWithAt(strayText_, at))
        ++at;
    const std::string line = at < strayText_.size() ? strayText_.substr(at, strayText_.size() - at - 1) : "";
    strayText_.clear();
    if (line.empty())
        return;
    // A pty has no DTR: a command line is how a caller that closed the device shows.
    endCall("a command line came in, the caller dropped the line");
    if (echo_)
        out += line + '\r';
    runCommandLine(line, out);
}

void ModemSimulator::endCall(const std::string& reason)
{
    if (call_)
        report("call " + std::to_string(calls_) + " ended: " + reason);
    call_.reset();
    online_ = false;
    strayText_.clear();
}

void ModemSimulator::report(const std::string& text) const
{
    std::fprintf(stderr, "tuq-switch-sim: modem: %s\n", text.c_str());
}
