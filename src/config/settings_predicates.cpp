#include "config/settings.h"

#include "config/reg_file.h"

namespace {

// Host n is usable when it is enabled and has a name and a port.
bool IsOutboundHostUsable(bool enabled, const std::string& host, int portA, int portB)
{
    return enabled && !host.empty() && (portA != 0 || portB != 0);
}

bool AnyOutboundHostUsable()
{
    return IsOutboundHostUsable(GetEnableNetwork1(), GetOutboundHostName1(), GetOutboundPort1A(),
                                GetOutboundPort1B()) ||
           IsOutboundHostUsable(GetEnableNetwork2(), GetOutboundHostName2(), GetOutboundPort2A(),
                                GetOutboundPort2B()) ||
           IsOutboundHostUsable(GetEnableNetwork3(), GetOutboundHostName3(), GetOutboundPort3A(),
                                GetOutboundPort3B());
}

bool IsModemRouteConfigured()
{
    if (!GetConnectViaTapi())
        return false;
    std::string device = GetTapiDeviceName();
    return !device.empty() && !GetPhoneNumber().empty() && IsTapiDeviceInstalled(device);
}

}  // namespace

bool IsInboundSocketConfigured()
{
    return !GetInboundHostName().empty() && GetInboundPort() != 0;
}

// The switch takes no unprotected traffic: without SSL the buffers must be
// Twofish-encrypted.
bool IsOutboundNetworkConfigured()
{
    if (!AnyOutboundHostUsable())
        return false;
    if (GetEnableOutboundSSLCommunications())
        return !GetSSLCertificateFileName().empty() && !GetSSLCAFileName().empty() &&
               !GetSSLClientPassword().empty();
    return GetEnableOutboundTwofishSecurity();
}

bool IsDialUpSelected()
{
    return (GetEnableNetwork1() || GetEnableNetwork2() || GetEnableNetwork3()) &&
           GetNetConnectType() == 2;
}

// The main window reaches the network only through the relay listening on
// the inbound socket, so that must be configured too.
bool IsConnectionConfigured()
{
    if (IsOutboundNetworkConfigured()) {
        int type = GetNetConnectType();
        if ((type == 1 || type == 2) && IsInboundSocketConfigured())
            return true;
    }
    return IsModemRouteConfigured();
}

bool IsDataSourceConfigured()
{
    std::string type = GetDataSourceType();
    if (SameName(type, "File"))
        return !GetClaimFileMask().empty();
    if (SameName(type, "SerialPort"))
        return GetComNumber() != 0;
    if (SameName(type, "SocketPort"))
        return IsInboundSocketConfigured();
    return false;
}
