#pragma once
#include <functional>
#include <optional>
#include <string>

// This computer's name and address, from which the settings derive the
// defaults that name this installation. Tests replace the sources.

using HostNameProvider = std::function<std::optional<std::string>()>;
using LocalAddressProvider = std::function<std::string()>;

// The host name; nothing when the system cannot tell.
std::optional<std::string> LocalHostName();

// The first IPv4 address of an interface that is up and not loopback; empty
// when there is none.
std::string FirstLocalAddress();

// An empty function restores the system's source.
void SetHostNameProvider(HostNameProvider provider);
void SetLocalAddressProvider(LocalAddressProvider provider);
