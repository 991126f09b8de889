#include "base/log_time.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

struct LocalNow {
    struct tm tm {};
    int millis = 0;
};

LocalNow TakeLocalNow()
{
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    LocalNow now;
    localtime_r(&ts.tv_sec, &now.tm);
    now.millis = static_cast<int>(ts.tv_nsec / 1000000);
    return now;
}

} // namespace

std::string GeneralLogStamp()
{
    LocalNow now = TakeLocalNow();
    char text[64];
    std::snprintf(text, sizeof text, "<%.4d%.2d%.2d %.2d:%.2d:%.2d.%.3d>",
                  now.tm.tm_year + 1900, now.tm.tm_mon + 1, now.tm.tm_mday,
                  now.tm.tm_hour, now.tm.tm_min, now.tm.tm_sec, now.millis);
    return text;
}

std::string NetworkLogStamp()
{
    LocalNow now = TakeLocalNow();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%07.4f", now.tm.tm_sec + now.millis / 1000.0);
    // A leap second would otherwise show as a minute of 60 seconds.
    if (std::strcmp(seconds, "60.0000") == 0)
        std::strcpy(seconds, "59.9999");
    char text[96];
    std::snprintf(text, sizeof text, "%.4d%.2d%.2d %.2d:%.2d:%s",
                  now.tm.tm_year + 1900, now.tm.tm_mon + 1, now.tm.tm_mday,
                  now.tm.tm_hour, now.tm.tm_min, seconds);
    return std::string(text, 22) + ">";
}
