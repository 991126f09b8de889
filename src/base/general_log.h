#pragma once
#include <string>

// The general diagnostic log: everything but the relay's network traffic.
// Every writer opens, appends to and closes the file for each call and never
// reports a failure to the user.

using LogWriter = int (*)(const char* format, ...);

// The five log settings, cached for the whole process because every line
// would otherwise read the settings file.
struct LogSettings {
    bool enabled = false;
    std::string fileName;
    bool serialMessages = false;
    bool netEnabled = false;
    std::string netFileName;
};

// Replaces the cache; until the first call nothing is logged.
void SetLogSettings(const LogSettings& settings);

// Returns 0 when written or when general logging is off, 1 when the file
// cannot be opened.
int LogMsg(const char* format, ...) __attribute__((format(printf, 1, 2)));

// One line per byte: "<stamp>label[012] = (c)" or "(0x1c)".
int LogDump(const char* label, const char* bytes, int count);

// Printable bytes (0x20..0x7E) as they are, every other byte as \xHH.
std::string PrintableText(const std::string& bytes);

// "Application File Version: '...'" with the version compiled in.
void LogVersion();

// Reports bytes that do not belong in NCPDP data through writer.
void CheckNcpdpData(const char* bytes, int count, LogWriter writer);

// True when both the general log and serial byte logging are on.
bool SerialPortLoggingEnabled();

// The cached names of the two log files, for the Log and Net Log actions.
std::string GeneralLogFileName();
std::string NetworkLogFileName();
bool GeneralLoggingEnabled();
bool NetworkLoggingEnabled();
