#pragma once
#include <string>

// The simulator's end of the serial device: raw, 8N1, no flow control.
// Waits end early when the stop descriptor becomes readable.
class ModemLine {
public:
    ModemLine(std::string device, int stopFd);
    ~ModemLine();
    ModemLine(const ModemLine&) = delete;
    ModemLine& operator=(const ModemLine&) = delete;

    // False with error set when the device cannot be opened or set up.
    bool open(std::string& error);
    // After the line was lost: opens the device again as soon as it exists,
    // for up to 30 seconds. False on stop or when it never came back.
    bool reopen(std::string& error);

    enum class Input { Bytes, Lost, Stop };
    // Waits for bytes from the caller and reads them.
    Input read(std::string& bytes);
    // False when the bytes could not all be written within 10 seconds.
    bool write(const std::string& bytes);

private:
    void close();
    // Waits for events on the line or the stop descriptor; false on stop.
    bool waitFor(short events, int timeoutMs, short& revents);

    std::string device_;
    int stopFd_;
    int fd_ = -1;
};
