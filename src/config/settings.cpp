#include "config/settings.h"

#include "config/host_identity.h"
#include "config/settings_access.h"
#include "config/settings_file.h"

#include <QString>
#include <algorithm>

namespace {

constexpr SettingsSection Main = SettingsSection::Main;
constexpr SettingsSection Serial = SettingsSection::InputSerialPort;
constexpr SettingsSection Network = SettingsSection::Network;

int InRangeOr(int value, int low, int high, int fallback)
{
    return value < low || value > high ? fallback : value;
}

int ReadPort(const char* name, int fallback)
{
    return InRangeOr(ReadInt(Main, name, fallback), 0, 65535, 0);
}

int ReadTimeout(const char* name, int fallback)
{
    int seconds = ReadInt(Main, name, fallback);
    return seconds < 0 ? fallback : seconds;
}

std::string TuqDataFile(const std::string& fileName)
{
    return UserHomeFolder() + "/TuqData/" + fileName;
}

bool IsAllDigits(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
}

std::string ClaimFileMaskDefault()
{
    std::string folder = ValueExists(Main, "ClaimDataDirectory") ? GetClaimDataDirectory() : "";
    if (folder.empty())
        return TuqDataFile("*.clm");
    char last = folder.back();
    if (last != '\\' && last != '/' && last != ':')
        folder += '/';
    return folder + "*.clm";
}

std::string InboundHostNameDefault()
{
    std::string host = LocalHostName().value_or("");
    if (host.empty() || IsAllDigits(host))
        host = FirstLocalAddress();
    return host.empty() ? "localhost" : host;
}

std::string SystemIDDefault()
{
    std::string host = LocalHostName().value_or("");
    while (!host.empty() && (host.back() == '\\' || host.back() == '/'))
        host.pop_back();
    size_t delimiter = host.find_last_of("\\/");
    if (delimiter != std::string::npos)
        host.erase(0, delimiter + 1);
    return QString::fromStdString(host).left(8).toUpper().toStdString();
}

}  // namespace

// --- Main: claim files and responses ---

std::string GetDataSourceType() { return ReadText(Main, "DataSourceType", "File"); }
void SetDataSourceType(const std::string& value) { WriteText(Main, "DataSourceType", value); }
void SetDataSourceFile() { SetDataSourceType("File"); }
void SetDataSourceSerialPort() { SetDataSourceType("SerialPort"); }
void SetDataSourceSocketPort() { SetDataSourceType("SocketPort"); }
void ClearDataSourceType() { SetDataSourceType(""); }
bool IsDataSourceFile() { return SameName(GetDataSourceType(), "File"); }
bool IsDataSourceSerialPort() { return SameName(GetDataSourceType(), "SerialPort"); }
bool IsDataSourceSocketPort() { return SameName(GetDataSourceType(), "SocketPort"); }

std::string GetClaimFileMask() { return ReadText(Main, "ClaimFileMask", ClaimFileMaskDefault()); }
void SetClaimFileMask(const std::string& value) { WriteText(Main, "ClaimFileMask", value); }
std::string GetClaimDataDirectory() { return ReadText(Main, "ClaimDataDirectory", ""); }
std::string GetResponseFileExtension() { return ReadText(Main, "ResponseFileExtension", ".rsp"); }
void SetResponseFileExtension(const std::string& value) { WriteText(Main, "ResponseFileExtension", value); }
std::string GetResponseFileFolder() { return ReadText(Main, "ResponseFileFolder", ""); }
void SetResponseFileFolder(const std::string& value) { WriteText(Main, "ResponseFileFolder", value); }
std::string GetClaimFileArchiveFolder() { return ReadText(Main, "ClaimFileArchiveFolder", ""); }
void SetClaimFileArchiveFolder(const std::string& value) { WriteText(Main, "ClaimFileArchiveFolder", value); }
bool GetClaimFileArchiveTimestamp() { return ReadBool(Main, "ClaimFileArchiveTimestamp", false); }
void SetClaimFileArchiveTimestamp(bool value) { WriteBool(Main, "ClaimFileArchiveTimestamp", value); }
int GetClaimFileRetries() { return ReadInt(Main, "ClaimFileRetries", 3); }
void SetClaimFileRetries(int value) { WriteInt(Main, "ClaimFileRetries", value); }
int GetClaimFileRetryDelay() { return ReadInt(Main, "ClaimFileRetryDelay", 5); }
void SetClaimFileRetryDelay(int value) { WriteInt(Main, "ClaimFileRetryDelay", value); }
bool GetClaimFileTrimAtNewline() { return ReadBool(Main, "ClaimFileTrimAtNewline", false); }
void SetClaimFileTrimAtNewline(bool value) { WriteBool(Main, "ClaimFileTrimAtNewline", value); }

// --- Main: logging, identity, pharmacy system, window ---

bool GetEnableDebugMessages() { return ReadBool(Main, "EnableDebugMessages", false); }
void SetEnableDebugMessages(bool value) { WriteBool(Main, "EnableDebugMessages", value); }
std::string GetDebugFileName() { return ReadText(Main, "DebugFileName", DefaultDebugFileName()); }
std::string DefaultDebugFileName() { return TuqDataFile("TuqLog.txt"); }
void SetDebugFileName(const std::string& value) { WriteText(Main, "DebugFileName", value); }
bool GetEnableSerialPortMessages() { return ReadBool(Main, "EnableSerialPortMessages", false); }
void SetEnableSerialPortMessages(bool value) { WriteBool(Main, "EnableSerialPortMessages", value); }
bool GetEnableNetworkDebugMessages() { return ReadBool(Main, "EnableNetworkDebugMessages", false); }
void SetEnableNetworkDebugMessages(bool value) { WriteBool(Main, "EnableNetworkDebugMessages", value); }
std::string GetNetworkDebugFileName() { return ReadText(Main, "NetworkDebugFileName", TuqDataFile("TuqNetLog.txt")); }
void SetNetworkDebugFileName(const std::string& value) { WriteText(Main, "NetworkDebugFileName", value); }
std::string GetSystemID() { return ReadText(Main, "SystemID", SystemIDDefault()); }
void SetSystemID(const std::string& value) { WriteText(Main, "SystemID", value); }

// The legacy serial flag counts until "PharmacyConfig" is stored.
int GetPharmacyConfig()
{
    if (ValueExists(Main, "PharmacyConfig"))
        return InRangeOr(ReadInt(Main, "PharmacyConfig", 0), 0, 7, 0);
    if (ValueExists(Serial, "Is3PMXenixSystem") && GetIs3PMXenixSystem())
        return 1;
    return 0;
}
void SetPharmacyConfig(int value) { WriteInt(Main, "PharmacyConfig", value); }

std::string GetMainFormCaption() { return ReadText(Main, "MainFormCaption", ""); }
int GetLeft() { return ReadInt(Main, "Left", 0); }
void SetLeft(int value) { WriteInt(Main, "Left", value); }
int GetTop() { return ReadInt(Main, "Top", 0); }
void SetTop(int value) { WriteInt(Main, "Top", value); }
int GetWidth(int designedWidth) { return ReadInt(Main, "Width", designedWidth); }
void SetWidth(int value) { WriteInt(Main, "Width", value); }
int GetHeight(int designedHeight) { return ReadInt(Main, "Height", designedHeight); }
void SetHeight(int value) { WriteInt(Main, "Height", value); }
bool GetVisible() { return ReadBool(Main, "Visible", false); }
void SetVisible(bool value) { WriteBool(Main, "Visible", value); }

// --- Main: inbound socket and relay ---

std::string GetInboundHostName() { return ReadText(Main, "InboundHostName", InboundHostNameDefault()); }
void SetInboundHostName(const std::string& value) { WriteText(Main, "InboundHostName", value); }
int GetInboundPort() { return ReadPort("InboundPort", 0); }
void SetInboundPort(int value) { WriteInt(Main, "InboundPort", value); }
int GetInboundSocketFormat() { return InRangeOr(ReadInt(Main, "InboundSocketFormat", 2), 0, 3, 2); }
void SetInboundSocketFormat(int value) { WriteInt(Main, "InboundSocketFormat", value); }
int GetInboundIdleTimeout() { return ReadTimeout("InboundIdleTimeout", 15); }
void SetInboundIdleTimeout(int value) { WriteInt(Main, "InboundIdleTimeout", value); }

// --- Main: outbound network ---

bool GetEnableNetwork1() { return ReadBool(Main, "EnableNetwork1", false); }
void SetEnableNetwork1(bool value) { WriteBool(Main, "EnableNetwork1", value); }
bool GetEnableNetwork2() { return ReadBool(Main, "EnableNetwork2", false); }
void SetEnableNetwork2(bool value) { WriteBool(Main, "EnableNetwork2", value); }
bool GetEnableNetwork3() { return ReadBool(Main, "EnableNetwork3", false); }
void SetEnableNetwork3(bool value) { WriteBool(Main, "EnableNetwork3", value); }
std::string GetOutboundHostName1() { return ReadText(Main, "OutboundHostName1", "claims.tuqnetwork.example"); }
void SetOutboundHostName1(const std::string& value) { WriteText(Main, "OutboundHostName1", value); }
std::string GetOutboundHostName2() { return ReadText(Main, "OutboundHostName2", "192.0.2.10"); }
void SetOutboundHostName2(const std::string& value) { WriteText(Main, "OutboundHostName2", value); }
std::string GetOutboundHostName3() { return ReadText(Main, "OutboundHostName3", "198.51.100.10"); }
void SetOutboundHostName3(const std::string& value) { WriteText(Main, "OutboundHostName3", value); }
int GetOutboundPort1A() { return ReadPort("OutboundPort1A", 6101); }
void SetOutboundPort1A(int value) { WriteInt(Main, "OutboundPort1A", value); }
int GetOutboundPort1B() { return ReadPort("OutboundPort1B", 6102); }
void SetOutboundPort1B(int value) { WriteInt(Main, "OutboundPort1B", value); }
int GetOutboundPort2A() { return ReadPort("OutboundPort2A", 6101); }
void SetOutboundPort2A(int value) { WriteInt(Main, "OutboundPort2A", value); }
int GetOutboundPort2B() { return ReadPort("OutboundPort2B", 6102); }
void SetOutboundPort2B(int value) { WriteInt(Main, "OutboundPort2B", value); }
int GetOutboundPort3A() { return ReadPort("OutboundPort3A", 6101); }
void SetOutboundPort3A(int value) { WriteInt(Main, "OutboundPort3A", value); }
int GetOutboundPort3B() { return ReadPort("OutboundPort3B", 6102); }
void SetOutboundPort3B(int value) { WriteInt(Main, "OutboundPort3B", value); }
int GetOutboundConnectTimeout() { return ReadTimeout("OutboundConnectTimeout", 6); }
void SetOutboundConnectTimeout(int value) { WriteInt(Main, "OutboundConnectTimeout", value); }
int GetOutboundWriteTimeout() { return ReadTimeout("OutboundWriteTimeout", 3); }
void SetOutboundWriteTimeout(int value) { WriteInt(Main, "OutboundWriteTimeout", value); }
int GetOutboundOverallTimeout() { return ReadTimeout("OutboundOverallTimeout", 60); }
void SetOutboundOverallTimeout(int value) { WriteInt(Main, "OutboundOverallTimeout", value); }
bool GetPersistentOutboundConnection() { return ReadBool(Main, "PersistentOutboundConnection", false); }
void SetPersistentOutboundConnection(bool value) { WriteBool(Main, "PersistentOutboundConnection", value); }
bool GetEnableOutboundSSLCommunications() { return ReadBool(Main, "EnableOutboundSSLCommunications", false); }
void SetEnableOutboundSSLCommunications(bool value) { WriteBool(Main, "EnableOutboundSSLCommunications", value); }
std::string GetSSLCertificateFileName() { return ReadText(Main, "SSLCertificateFileName", ""); }
void SetSSLCertificateFileName(const std::string& value) { WriteText(Main, "SSLCertificateFileName", value); }
std::string GetSSLCAFileName() { return ReadText(Main, "SSLCAFileName", ""); }
void SetSSLCAFileName(const std::string& value) { WriteText(Main, "SSLCAFileName", value); }
std::string GetSSLClientPassword() { return ReadText(Main, "SSLClientPassword", ""); }
void SetSSLClientPassword(const std::string& value) { WriteText(Main, "SSLClientPassword", value); }
bool GetEnableOutboundTwofishSecurity() { return ReadBool(Main, "EnableOutboundTwofishSecurity", false); }
void SetEnableOutboundTwofishSecurity(bool value) { WriteBool(Main, "EnableOutboundTwofishSecurity", value); }

// --- Main: modem ---

bool GetConnectViaTapi() { return ReadBool(Main, "ConnectViaTapi", false); }
void SetConnectViaTapi(bool value) { WriteBool(Main, "ConnectViaTapi", value); }
std::string GetTapiDeviceName() { return ReadText(Main, "TapiDeviceName", ""); }
void SetTapiDeviceName(const std::string& value) { WriteText(Main, "TapiDeviceName", value); }
std::string GetPhoneNumber() { return ReadText(Main, "PhoneNumber", "555-0100"); }
void SetPhoneNumber(const std::string& value) { WriteText(Main, "PhoneNumber", value); }
bool GetShowTapiStatusPanel() { return ReadBool(Main, "ShowTapiStatusPanel", false); }
void SetShowTapiStatusPanel(bool value) { WriteBool(Main, "ShowTapiStatusPanel", value); }
int GetTapiRetries() { return ReadInt(Main, "TapiRetries", 3); }
void SetTapiRetries(int value) { WriteInt(Main, "TapiRetries", value); }
int GetTapiRetryDelay() { return ReadInt(Main, "TapiRetryDelay", 1); }
void SetTapiRetryDelay(int value) { WriteInt(Main, "TapiRetryDelay", value); }
int GetTapiReplyTimeout() { return ReadInt(Main, "TapiReplyTimeout", 30); }
void SetTapiReplyTimeout(int value) { WriteInt(Main, "TapiReplyTimeout", value); }

TapiConfigBlock ReadTapiConfig()
{
    TapiConfigBlock block;
    std::optional<std::vector<uint8_t>> bytes = ReadBinary(Main, "TapiConfig");
    if (bytes) {
        block.size = static_cast<uint32_t>(bytes->size());
        std::copy(bytes->begin(), bytes->end(), block.data.begin());
    }
    return block;
}

void WriteTapiConfig(const TapiConfigBlock& block)
{
    if (block.size > block.data.size())
        throw SettingsError("Failed to set data for 'TapiConfig' (more than 1024 bytes)");
    WriteBinary(Main, "TapiConfig",
                std::vector<uint8_t>(block.data.begin(), block.data.begin() + block.size));
}

void DeleteTapiConfig() { DeleteValue(Main, "TapiConfig"); }

// --- InputSerialPort ---

int GetComNumber() { return ReadInt(Serial, "ComNumber", 0); }
void SetComNumber(int value) { WriteInt(Serial, "ComNumber", value); }
int GetBaud() { return ReadInt(Serial, "Baud", 19200); }
void SetBaud(int value) { WriteInt(Serial, "Baud", value); }
int GetDataBits() { return ReadInt(Serial, "DataBits", 8); }
void SetDataBits(int value) { WriteInt(Serial, "DataBits", value); }
int GetStopBits() { return ReadInt(Serial, "StopBits", 1); }
void SetStopBits(int value) { WriteInt(Serial, "StopBits", value); }
int GetParity() { return ReadInt(Serial, "Parity", 0); }
void SetParity(int value) { WriteInt(Serial, "Parity", value); }
bool GetDtrDsr() { return ReadBool(Serial, "DtrDsr", false); }
void SetDtrDsr(bool value) { WriteBool(Serial, "DtrDsr", value); }
bool GetRtsCts() { return ReadBool(Serial, "RtsCts", false); }
void SetRtsCts(bool value) { WriteBool(Serial, "RtsCts", value); }
bool GetSoftwareTransmit() { return ReadBool(Serial, "SoftwareTransmit", false); }
void SetSoftwareTransmit(bool value) { WriteBool(Serial, "SoftwareTransmit", value); }
bool GetSoftwareReceive() { return ReadBool(Serial, "SoftwareReceive", false); }
void SetSoftwareReceive(bool value) { WriteBool(Serial, "SoftwareReceive", value); }
int GetXOnChar() { return ReadInt(Serial, "XOnChar", 17); }
void SetXOnChar(int value) { WriteInt(Serial, "XOnChar", value); }
int GetXOffChar() { return ReadInt(Serial, "XOffChar", 19); }
void SetXOffChar(int value) { WriteInt(Serial, "XOffChar", value); }
bool GetVisa2() { return ReadBool(Serial, "Visa2", false); }
void SetVisa2(bool value) { WriteBool(Serial, "Visa2", value); }
bool GetLrc() { return ReadBool(Serial, "Lrc", false); }
void SetLrc(bool value) { WriteBool(Serial, "Lrc", value); }
bool GetEnqHalfSecDelay() { return ReadBool(Serial, "EnqHalfSecDelay", true); }
void SetEnqHalfSecDelay(bool value) { WriteBool(Serial, "EnqHalfSecDelay", value); }
double GetSPEnqPause() { return ReadReal(Serial, "SPEnqPause", 0.5); }
void SetSPEnqPause(double value) { WriteReal(Serial, "SPEnqPause", value); }
int GetSPClientRetries() { return ReadInt(Serial, "SPClientRetries", 3); }
void SetSPClientRetries(int value) { WriteInt(Serial, "SPClientRetries", value); }
bool GetClosePortOnHangup() { return ReadBool(Serial, "ClosePortOnHangup", false); }
void SetClosePortOnHangup(bool value) { WriteBool(Serial, "ClosePortOnHangup", value); }
bool GetIs3PMXenixSystem() { return ReadBool(Serial, "Is3PMXenixSystem", false); }

// --- Network ---

int GetNetConnectType()
{
    int type = ReadInt(Network, "NetConnectType", 1);
    return type == 1 || type == 2 ? type : 0;
}
void SetNetConnectType(int value) { WriteInt(Network, "NetConnectType", value); }
std::string GetDialUpConnection() { return ReadText(Network, "DialUpConnection", ""); }
void SetDialUpConnection(const std::string& value) { WriteText(Network, "DialUpConnection", value); }
bool GetConnectOnStartup() { return ReadBool(Network, "ConnectOnStartup", false); }
void SetConnectOnStartup(bool value) { WriteBool(Network, "ConnectOnStartup", value); }
std::string GetDialUpUser() { return ReadText(Network, "DialUpUser", ""); }
void SetDialUpUser(const std::string& value) { WriteText(Network, "DialUpUser", value); }
std::string GetDialUpPwd() { return ReadText(Network, "DialUpPwd", ""); }
void SetDialUpPwd(const std::string& value) { WriteText(Network, "DialUpPwd", value); }
std::string GetDialUpDomain() { return ReadText(Network, "DialUpDomain", ""); }
void SetDialUpDomain(const std::string& value) { WriteText(Network, "DialUpDomain", value); }
std::string GetDialUpPhone() { return ReadText(Network, "DialUpPhone", ""); }
void SetDialUpPhone(const std::string& value) { WriteText(Network, "DialUpPhone", value); }
