#include "wait_for.h"

#include "app/wait_until.h"

bool WaitFor(const std::function<bool()>& done, int seconds)
{
    return WaitUntil(done, seconds * 1000, 20);
}
