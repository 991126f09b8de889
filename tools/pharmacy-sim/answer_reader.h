#pragma once
#include "serial_line.h"

#include <string>
#include <vector>

// Reads what the modem side answers and compares it with what it should
// answer. A mismatch or silence raises DialogueError naming the expected
// bytes and the bytes that came.
class AnswerReader {
public:
    AnswerReader(SerialLine& line, int timeoutSeconds);

    // Reads the answer `bytes`; `when` says at what point of the dialogue.
    // No bytes: the line must stay quiet for a moment.
    void expect(const std::string& bytes, const std::string& when);
    // Reads one of the answers and returns its index. The first is the
    // right one, the others are known failures that the caller explains;
    // only the first is shown when none comes.
    size_t expectOneOf(const std::vector<std::string>& answers, const std::string& when);
    // The next byte; raises DialogueError after the time-out.
    char next(const std::string& expected, const std::string& when);
    int timeoutMs() const { return timeoutMs_; }

private:
    void expectNothing(const std::string& when);
    [[noreturn]] void silence(const std::vector<std::string>& answers, const std::string& received,
                              const std::string& when);
    [[noreturn]] void wrongAnswer(const std::vector<std::string>& answers, std::string received,
                                  const std::string& when);

    SerialLine& line_;
    int timeoutMs_;
};

// Bytes as a support person reads them: printable characters as they are,
// control bytes by name ("<CR>", "<ENQ>"), others in hex ("<0x9c>").
std::string NamedBytes(const std::string& bytes);
