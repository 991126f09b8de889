#include "base/general_log.h"

#include "base/append_line.h"
#include "base/format_text.h"
#include "base/log_time.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

// Both threads log, and the main thread may reload the settings meanwhile.
std::mutex cacheMutex;
LogSettings cache;

LogSettings CurrentSettings()
{
    std::lock_guard<std::mutex> lock(cacheMutex);
    return cache;
}

bool IsPrintable(unsigned char c)
{
    return c >= 0x20 && c <= 0x7E;
}

const char* ControlName(unsigned char c)
{
    switch (c) {
    case 0x00: return "NUL";
    case 0x02: return "STX";
    case 0x03: return "ETX";
    case 0x04: return "EOT";
    case 0x05: return "ENQ";
    case 0x06: return "ACK";
    case 0x09: return "TAB";
    case 0x0A: return "Line Feed";
    case 0x0D: return "Carriage Return";
    case 0x15: return "NAK";
    default: return nullptr;
    }
}

} // namespace

void SetLogSettings(const LogSettings& settings)
{
    std::lock_guard<std::mutex> lock(cacheMutex);
    cache = settings;
}

int LogMsg(const char* format, ...)
{
    LogSettings settings = CurrentSettings();
    if (!settings.enabled)
        return 0;
    va_list args;
    va_start(args, format);
    std::string line = GeneralLogStamp() + FormatV(format, args) + "\n";
    va_end(args);
    return AppendLines(settings.fileName, {line}) ? 0 : 1;
}

int LogDump(const char* label, const char* bytes, int count)
{
    LogSettings settings = CurrentSettings();
    if (!settings.enabled || count <= 0 || bytes == nullptr || bytes[0] == '\0')
        return 0;
    std::vector<std::string> lines;
    lines.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        char text[64];
        if (IsPrintable(c))
            std::snprintf(text, sizeof text, "(%c)\n", c);
        else
            std::snprintf(text, sizeof text, "(0x%.2x)\n", c);
        char index[32];
        std::snprintf(index, sizeof index, "[%.3d] = ", i);
        lines.push_back(GeneralLogStamp() + (label ? label : "") + index + text);
    }
    return AppendLines(settings.fileName, lines) ? 0 : 1;
}

std::string PrintableText(const std::string& bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (IsPrintable(c)) {
            text += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%.2X", c);
            text += hex;
        }
    }
    return text;
}

void LogVersion()
{
    const std::string version = CORVANE_VERSION;
    LogMsg("Application File Version: '%.*s'", static_cast<int>(version.size()), version.c_str());
}

void CheckNcpdpData(const char* bytes, int count, LogWriter writer)
{
    if (bytes == nullptr || writer == nullptr)
        return;
    bool headingWritten = false;
    for (int i = 0; i < count; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (IsPrintable(c) || c == 0x1C || c == 0x1D || c == 0x1E)
            continue;
        if (!headingWritten) {
            writer("Possible Invalid NCPDP Data:");
            headingWritten = true;
        }
        if (const char* name = ControlName(c))
            writer("  Index(%d)  Value(0x%.2x, %s)", i, c, name);
        else
            writer("  Index(%d)  Value(0x%.2x)", i, c);
    }
}

bool SerialPortLoggingEnabled()
{
    LogSettings settings = CurrentSettings();
    return settings.enabled && settings.serialMessages;
}

std::string GeneralLogFileName()
{
    return CurrentSettings().fileName;
}

std::string NetworkLogFileName()
{
    return CurrentSettings().netFileName;
}

bool GeneralLoggingEnabled()
{
    return CurrentSettings().enabled;
}

bool NetworkLoggingEnabled()
{
    return CurrentSettings().netEnabled;
}
