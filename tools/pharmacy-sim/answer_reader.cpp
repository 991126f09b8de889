#include "answer_reader.h"

#include "base/format_text.h"

#include <algorithm>

namespace {

// How long a wrong answer may go on arriving before it is shown.
constexpr int restOfAnswerMs = 250;
// How long a line that gets no answer must stay quiet. It also paces the
// command lines as a pharmacy system does, which sees no OK to wait for.
constexpr int noAnswerMs = 500;

std::string ByteName(unsigned char byte)
{
    switch (byte) {
    case 0x02: return "<STX>";
    case 0x03: return "<ETX>";
    case 0x04: return "<EOT>";
    case 0x05: return "<ENQ>";
    case 0x06: return "<ACK>";
    case 0x0A: return "<LF>";
    case 0x0D: return "<CR>";
    case 0x15: return "<NAK>";
    default: break;
    }
    if (byte >= 0x20 && byte < 0x7F)
        return std::string(1, static_cast<char>(byte));
    return FormatText("<0x%02x>", byte);
}

bool IsPrefix(const std::string& part, const std::string& whole)
{
    return whole.compare(0, part.size(), part) == 0;
}

}  // namespace

std::string NamedBytes(const std::string& bytes)
{
    constexpr size_t shown = 120;
    std::string text;
    for (size_t i = 0; i < bytes.size() && i < shown; ++i)
        text += ByteName(static_cast<unsigned char>(bytes[i]));
    if (bytes.size() > shown)
        text += FormatText("... (%zu bytes)", bytes.size());
    return "\"" + text + "\"";
}

AnswerReader::AnswerReader(SerialLine& line, int timeoutSeconds)
    : line_(line), timeoutMs_(timeoutSeconds * 1000)
{
}

void AnswerReader::expect(const std::string& bytes, const std::string& when)
{
    if (bytes.empty())
        expectNothing(when);
    else
        expectOneOf({bytes}, when);
}

void AnswerReader::expectNothing(const std::string& when)
{
    std::optional<char> byte = line_.readByte(noAnswerMs);
    if (byte)
        wrongAnswer({""}, std::string(1, *byte), when);
}

size_t AnswerReader::expectOneOf(const std::vector<std::string>& answers, const std::string& when)
{
    std::string received;
    for (;;) {
        for (size_t i = 0; i < answers.size(); ++i)
            if (received == answers[i])
                return i;
        const bool anyStillPossible = std::any_of(answers.begin(), answers.end(),
            [&received](const std::string& answer) { return IsPrefix(received, answer); });
        if (!anyStillPossible)
            wrongAnswer(answers, received, when);
        std::optional<char> byte = line_.readByte(timeoutMs_);
        if (!byte)
            silence(answers, received, when);
        received += *byte;
    }
}

char AnswerReader::next(const std::string& expected, const std::string& when)
{
    std::optional<char> byte = line_.readByte(timeoutMs_);
    if (!byte)
        throw DialogueError(FormatText("%s: expected %s, but nothing came within %d s", when.c_str(),
                                       expected.c_str(), timeoutMs_ / 1000));
    return *byte;
}

void AnswerReader::silence(const std::vector<std::string>& answers, const std::string& received,
                           const std::string& when)
{
    const std::string& expected = answers.front();
    std::string text = FormatText("%s: expected %s, but ", when.c_str(), NamedBytes(expected).c_str());
    if (received.empty())
        text += "nothing came";
    else if (IsPrefix(received, expected))
        text += "the end of it, " + NamedBytes(expected.substr(received.size())) + ", did not come";
    else
        text += "only " + NamedBytes(received) + " came";
    throw DialogueError(text + FormatText(" within %d s", timeoutMs_ / 1000));
}

void AnswerReader::wrongAnswer(const std::vector<std::string>& answers, std::string received,
                               const std::string& when)
{
    // Show the whole wrong answer, not just its first wrong byte.
    const size_t limit = answers.front().size() + 16;
    while (received.size() < limit) {
        std::optional<char> byte = line_.readByte(restOfAnswerMs);
        if (!byte)
            break;
        received += *byte;
    }
    const std::string& expected = answers.front();
    throw DialogueError(when + ": expected " + (expected.empty() ? "nothing" : NamedBytes(expected)) + ", received "
                        + NamedBytes(received));
}
