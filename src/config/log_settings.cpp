#include "config/log_settings.h"

#include "base/general_log.h"
#include "config/settings.h"

#include <exception>

void LoadLogSettings()
{
    LogSettings fresh;
    // A damaged settings file must not take logging down with it.
    try {
        fresh.enabled = GetEnableDebugMessages();
        fresh.fileName = GetDebugFileName();
        fresh.serialMessages = GetEnableSerialPortMessages();
        fresh.netEnabled = GetEnableNetworkDebugMessages();
        fresh.netFileName = GetNetworkDebugFileName();
    } catch (const std::exception&) {
    }
    SetLogSettings(fresh);
}
