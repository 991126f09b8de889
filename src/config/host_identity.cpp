#include "config/host_identity.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

namespace {

std::optional<std::string> SystemHostName()
{
    char name[512] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return std::nullopt;
    return std::string(name);
}

std::string SystemFirstLocalAddress()
{
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return {};
    std::string address;
    for (ifaddrs* entry = list; entry && address.empty(); entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        if ((entry->ifa_flags & IFF_LOOPBACK) || !(entry->ifa_flags & IFF_UP))
            continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (::inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text))
            address = text;
    }
    ::freeifaddrs(list);
    return address;
}

HostNameProvider& HostNameSource()
{
    static HostNameProvider source = SystemHostName;
    return source;
}

LocalAddressProvider& LocalAddressSource()
{
    static LocalAddressProvider source = SystemFirstLocalAddress;
    return source;
}

}  // namespace

std::optional<std::string> LocalHostName()
{
    return HostNameSource()();
}

std::string FirstLocalAddress()
{
    return LocalAddressSource()();
}

void SetHostNameProvider(HostNameProvider provider)
{
    HostNameSource() = provider ? std::move(provider) : HostNameProvider(SystemHostName);
}

void SetLocalAddressProvider(LocalAddressProvider provider)
{
    LocalAddressSource() =
        provider ? std::move(provider) : LocalAddressProvider(SystemFirstLocalAddress);
}
