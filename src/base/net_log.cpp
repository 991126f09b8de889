#include "base/net_log.h"

#include "base/append_line.h"
#include "base/format_text.h"
#include "base/log_time.h"

#include <atomic>
#include <cstdarg>
#include <mutex>

namespace {

// Set by the relay thread, read by whichever thread logs.
std::mutex pathMutex;
std::string netLogPath;
// Whether netLogPath is set: the relay logs many lines per claim, and
// without a log file they cost no lock this way.
std::atomic<bool> netLogOn{false};

} // namespace

int mxLog(const char* format, ...)
{
    if (!netLogOn.load(std::memory_order_relaxed))
        return 0;
    std::string path;
    {
        std::lock_guard<std::mutex> lock(pathMutex);
        path = netLogPath;
    }
    if (path.empty())
        return 0;

    va_list args;
    va_start(args, format);
    std::string message = FormatV(format, args);
    va_end(args);

    return AppendLines(path, {NetworkLogStamp() + message + "\n"}) ? 0 : -1;
}

int mxLogFile(const char* path)
{
    std::lock_guard<std::mutex> lock(pathMutex);
    netLogPath = path ? path : "";
    netLogOn = !netLogPath.empty();
    return 0;
}
