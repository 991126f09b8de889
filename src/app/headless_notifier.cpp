#include "app/headless_notifier.h"

#include "base/general_log.h"
#include "base/log_time.h"

#include <cstdio>

void HeadlessNotifier::ShowMessage(const std::string& text)
{
    LogMsg("Message: %s", text.c_str());
    std::fprintf(stderr, "corvane: %s\n", text.c_str());
}

void HeadlessNotifier::ShowWaiting(const std::string& reason, int retrySeconds)
{
    std::string line = "Waiting: " + reason;
    if (retrySeconds > 0)
        line += "  Trying again in " + std::to_string(retrySeconds) +
                " seconds, or at once on SIGHUP.";
    LogMsg("%s", line.c_str());
    std::fprintf(stderr, "%scorvane: %s\n", GeneralLogStamp().c_str(), line.c_str());
}

void HeadlessNotifier::ShowError(const std::string& text)
{
    LogMsg("Error: %s", text.c_str());
    std::fprintf(stderr, "corvane: error: %s\n", text.c_str());
}
