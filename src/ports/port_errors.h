#pragma once
#include <stdexcept>
#include <string>

// Error codes of the port layer: errno values where the system has one, and
// the layer's own codes (all above 10000) for the rest. Every code fits the
// 16 bits that callers keep.
enum PortErrorCode : int {
    ecHostNotFound = 10001,
    ecPortNotOpen = 10002,
    ecBufferIsEmpty = 10003,
    ecOutputBufferFull = 10004,
    ecNotConnected = 10005,
    ecBadSetting = 10006,
    ecSocketFailure = 10007,
    ecNoTriggerHandle = 10008,
    ecUnknownTrigger = 10009,
    ecNoComPort = 10010,
};

// The message text for a code that the layer reports or raises.
std::string PortErrorText(int code);

// Raised by port operations; the message is meant for people and the log.
class EPortError : public std::runtime_error {
public:
    EPortError(int code, const std::string& message);
    explicit EPortError(int code);
    int Code() const { return code_; }

private:
    int code_;
};

// GetChar or GetBlock asked for more bytes than are waiting.
class EBufferIsEmpty : public EPortError {
public:
    EBufferIsEmpty();
};
