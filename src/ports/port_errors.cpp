#include "ports/port_errors.h"

#include <cstring>

std::string PortErrorText(int code)
{
    switch (code) {
    case ecHostNotFound: return "Host not found";
    case ecPortNotOpen: return "Port not open";
    case ecBufferIsEmpty: return "Input buffer is empty";
    case ecOutputBufferFull: return "Output buffer too full for the data";
    case ecNotConnected: return "Socket is not connected";
    case ecBadSetting: return "Invalid port setting";
    case ecSocketFailure: return "Socket failure";
    case ecNoTriggerHandle: return "No free trigger handle";
    case ecUnknownTrigger: return "Unknown trigger handle";
    case ecNoComPort: return "No serial port chosen";
    default: return std::strerror(code);
    }
}

EPortError::EPortError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}

EPortError::EPortError(int code) : EPortError(code, PortErrorText(code)) {}

EBufferIsEmpty::EBufferIsEmpty() : EPortError(ecBufferIsEmpty) {}
