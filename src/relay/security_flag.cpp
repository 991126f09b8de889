#include "relay/security_flag.h"

#include <atomic>

namespace {
std::atomic<bool> securityDisabled{false};
}

void SetSecurityDisabled(bool disabled)
{
    securityDisabled = disabled;
}

bool IsSecurityDisabled()
{
    return securityDisabled;
}
