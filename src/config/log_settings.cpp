#include "config/log_settings.h"

#include "base/append_line.h"
#include "base/general_log.h"
#include "base/log_time.h"
#include "config/settings.h"

#include <exception>
#include <mutex>

namespace {

// With the settings unreadable, the configured log is unknown: the error
// goes where the log is by default, so that the user finds it there.
void SayInDefaultLog(const std::optional<std::string>& error)
{
    static std::mutex mutex;
    static std::string lastSaid;
    std::lock_guard<std::mutex> lock(mutex);
    if (!error) {
        lastSaid.clear();
        return;
    }
    if (*error == lastSaid)
        return;
    lastSaid = *error;
    AppendLines(DefaultDebugFileName(),
                {GeneralLogStamp() + "Settings cannot be read: " + *error + "\n"});
}

} // namespace

std::optional<std::string> LoadLogSettings()
{
    LogSettings fresh;
    std::optional<std::string> error;
    try {
        fresh.enabled = GetEnableDebugMessages();
        fresh.fileName = GetDebugFileName();
        fresh.serialMessages = GetEnableSerialPortMessages();
        fresh.netEnabled = GetEnableNetworkDebugMessages();
        fresh.netFileName = GetNetworkDebugFileName();
    } catch (const std::exception& failure) {
        fresh = LogSettings{};
        error = std::string("The general log is off: ") + failure.what();
    }
    SetLogSettings(fresh);
    SayInDefaultLog(error);
    return error;
}
