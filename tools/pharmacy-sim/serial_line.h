#pragma once
#include <optional>
#include <stdexcept>
#include <string>

// What went wrong on the serial line or in the modem dialogue; the message
// is meant for the person at the pharmacy counter.
class DialogueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The pharmacy end of a serial line: raw, 8N1, no echo, no flow control.
// Every wait is bounded and returns as soon as a byte arrives.
class SerialLine {
public:
    // Raises DialogueError when the device cannot be opened or set up.
    SerialLine(const std::string& device, int baud);
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Raises DialogueError when the bytes cannot all be written in time.
    void write(const std::string& bytes, int timeoutMs);
    // The next byte, or nothing after timeoutMs without one.
    std::optional<char> readByte(int timeoutMs);

private:
    [[noreturn]] void closeAndFail(const std::string& message);
    bool waitFor(short events, int timeoutMs);

    std::string device_;
    int fd_ = -1;
    std::string pending_;
    size_t pendingAt_ = 0;
};
