#include "serial_load.h"

#include "answer_reader.h"
#include "base/format_text.h"
#include "load_summary.h"
#include "modem_dialogue.h"
#include "reply_check.h"
#include "sample_claim.h"
#include "serial_line.h"
#include "visa_packet.h"

#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

// One run of calls on an open line, stopped by the first DialogueError.
class SerialRun {
public:
    SerialRun(const SerialLoadOptions& options, SerialLine& line)
        : options_(options), line_(line), reader_(line, options.timeoutSeconds),
          dialogue_(options.profile, options.baud)
    {
    }

    ConnectionResult run();

private:
    void placeCall(int claim);
    void sendCommand(const std::string& command, const std::string& answer, int claim);
    void dial(int claim);
    double exchangeClaim(int claim);
    std::string awaitResponse(int claim, const char* which);
    void endClaim(int claim);
    void hangUp();
    void send(const std::string& bytes) { line_.write(bytes, reader_.timeoutMs()); }

    const SerialLoadOptions& options_;
    SerialLine& line_;
    AnswerReader reader_;
    ModemDialogue dialogue_;
};

ConnectionResult SerialRun::run()
{
    ConnectionResult result;
    try {
        for (int claim = 1; claim <= options_.claims; ++claim) {
            if (claim == 1 || !options_.visa2)
                placeCall(claim);
            double ms = exchangeClaim(claim);
            endClaim(claim);
            result.latenciesMs.push_back(ms);
            ++result.succeeded;
        }
        if (options_.visa2)
            hangUp();
    } catch (const DialogueError& e) {
        result.error = e.what();
        result.failed = options_.claims - result.succeeded;
    }
    return result;
}

// The echo setting goes first: the modem keeps it from call to call, so
// the answer to any line before it would depend on the previous caller.
void SerialRun::placeCall(int claim)
{
    const std::string echoLine = options_.echo ? "ATE1V1\r" : "ATE0V1\r";
    sendCommand(echoLine, dialogue_.commandAnswer(echoLine), claim);
    sendCommand("ATZ\r", dialogue_.commandAnswer("ATZ\r"), claim);
    dial(claim);
}

void SerialRun::sendCommand(const std::string& command, const std::string& answer, int claim)
{
    send(command);
    reader_.expect(answer, FormatText("claim %d: answer to %s", claim, NamedBytes(command).c_str()));
}

void SerialRun::dial(int claim)
{
    const std::string command = "ATDT" + options_.phone + "\r";
    const std::string when = FormatText("claim %d: answer to %s", claim, NamedBytes(command).c_str());
    send(command);
    const std::vector<std::string> answers{dialogue_.dialAnswer(command), dialogue_.failedDialAnswer(command)};
    if (reader_.expectOneOf(answers, when) == 1)
        throw DialogueError(when + ": NO CARRIER, Corvane could not connect to the claims switch"
                                   " (its general log says why)");
}

double SerialRun::exchangeClaim(int claim)
{
    const auto rxNumber = static_cast<unsigned>(claim);
    const Clock::time_point start = Clock::now();
    send(VisaPacket(BuildSampleClaim(rxNumber), options_.lrc));
    const std::string response = awaitResponse(claim, "response");
    const std::chrono::duration<double, std::milli> elapsed = Clock::now() - start;

    const std::string wrong = CheckReplyData(response, rxNumber, options_.expectPaid);
    if (!wrong.empty())
        throw DialogueError(FormatText("claim %d: %s", claim, wrong.c_str()));
    if (options_.nakFirst && claim == 1) {
        send(std::string(1, NAK));
        if (awaitResponse(claim, "response sent again after our NAK") != response)
            throw DialogueError("claim 1: the response sent again after our NAK differs from the first one");
    }
    send(std::string(1, dialogue_.acknowledgement()));
    return elapsed.count();
}

std::string SerialRun::awaitResponse(int claim, const char* which)
{
    const std::string when = FormatText("claim %d: %s", claim, which);
    const char first = reader_.next("<STX> and the response", when);
    if (first == STX)
        return ReadVisaPacketRest(reader_, options_.lrc, when);
    if (first == NAK)
        throw DialogueError(when + ": Corvane answered the claim with <NAK>, it found the packet damaged"
                                   " (is its Lrc setting the same as --lrc?)");
    if (first == EOT) {
        reader_.expect(dialogue_.noCarrierReport(), when + ", after <EOT>");
        throw DialogueError(when + ": Corvane hung up (<EOT>, NO CARRIER) instead of answering: the claim did not"
                                   " reach the switch or got no answer (its general log says why)");
    }
    throw DialogueError(when + ": expected <STX> and the response, received " + NamedBytes(std::string(1, first)));
}

void SerialRun::endClaim(int claim)
{
    if (options_.visa2)
        reader_.expect(std::string(1, ENQ),
                       FormatText("claim %d: after our acknowledgement (VISA II: ENQ for the next claim)", claim));
    else
        reader_.expect(dialogue_.callEnding(),
                       FormatText("claim %d: after our acknowledgement (VISA I: the modem hangs up)", claim));
}

void SerialRun::hangUp()
{
    const std::string command = options_.hangupWithEscape ? "+++" : "ATH0\r";
    const std::string answer =
        options_.hangupWithEscape ? dialogue_.escapeAnswer() : dialogue_.hangupAnswer(command);
    send(command);
    reader_.expect(answer, "hang-up: answer to " + NamedBytes(command));
}

}  // namespace

int RunSerialLoad(const SerialLoadOptions& options)
{
    ConnectionResult result;
    const Clock::time_point start = Clock::now();
    try {
        SerialLine line(options.device, options.baud);
        result = SerialRun(options, line).run();
    } catch (const DialogueError& e) {
        result.error = e.what();
        result.failed = options.claims;
    }
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    if (!result.error.empty())
        std::fprintf(stderr, "pharmacy-sim: %s\n", result.error.c_str());
    std::printf("%s\n", LoadSummary({result}, elapsed.count()).c_str());
    return result.error.empty() ? 0 : 1;
}
