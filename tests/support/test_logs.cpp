#include "test_logs.h"

#include "config/log_settings.h"
#include "config/settings.h"

void LogInto(const std::string& generalLog, const std::string& networkLog)
{
    SetEnableDebugMessages(true);
    SetDebugFileName(generalLog);
    if (!networkLog.empty()) {
        SetEnableNetworkDebugMessages(true);
        SetNetworkDebugFileName(networkLog);
    }
    LoadLogSettings();
}
