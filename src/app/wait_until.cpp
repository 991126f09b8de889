#include "app/wait_until.h"

#include "ports/pumped_wait.h"

#include <QDeadlineTimer>
#include <algorithm>

bool WaitUntil(const std::function<bool()>& done, int timeoutMs, int sliceMs)
{
    QDeadlineTimer deadline = timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                            : QDeadlineTimer(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        int slice = sliceMs;
        if (!deadline.isForever())
            slice = std::min<qint64>(slice, std::max<qint64>(1, deadline.remainingTime()));
        WaitForEvents(slice);
    }
    return true;
}
