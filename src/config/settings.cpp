#include "config/settings.h"

#include "config/host_identity.h"
#include "config/settings_access.h"
#include "config/settings_file.h"
#include "config/settings_table.h"

#include <QString>
#include <algorithm>
#include <charconv>

namespace {

std::string Key(const SettingDefinition& setting)
{
    return std::string(setting.name);
}

std::string Text(const SettingDefinition& setting)
{
    return ReadText(setting.section, Key(setting), FallbackText(setting));
}

int Number(const SettingDefinition& setting)
{
    return ReadInt(setting.section, Key(setting), FallbackNumber(setting));
}

bool Flag(const SettingDefinition& setting)
{
    return ReadBool(setting.section, Key(setting), FallbackNumber(setting) != 0);
}

double Real(const SettingDefinition& setting)
{
    return ReadReal(setting.section, Key(setting), FallbackReal(setting));
}

int InRangeOr(int value, int low, int high, int fallback)
{
    return value < low || value > high ? fallback : value;
}

int Port(const SettingDefinition& setting)
{
    return InRangeOr(Number(setting), 0, 65535, 0);
}

int Timeout(const SettingDefinition& setting)
{
    int seconds = Number(setting);
    return seconds < 0 ? FallbackNumber(setting) : seconds;
}

void StoreText(const SettingDefinition& setting, const std::string& value)
{
    WriteText(setting.section, Key(setting), value);
}

void StoreNumber(const SettingDefinition& setting, int value)
{
    WriteInt(setting.section, Key(setting), value);
}

void StoreFlag(const SettingDefinition& setting, bool value)
{
    WriteBool(setting.section, Key(setting), value);
}

void StoreReal(const SettingDefinition& setting, double value)
{
    WriteReal(setting.section, Key(setting), value);
}

std::string TuqDataFile(const std::string& fileName)
{
    return UserHomeFolder() + "/TuqData/" + fileName;
}

bool IsAllDigits(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string FallbackText(const SettingDefinition& setting)
{
    return setting.deriveFallback ? setting.deriveFallback() : std::string(setting.fallback);
}

int FallbackNumber(const SettingDefinition& setting)
{
    std::string text = FallbackText(setting);
    int number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

double FallbackReal(const SettingDefinition& setting)
{
    std::string text = FallbackText(setting);
    double number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

std::string ClaimFileMaskDefault()
{
    std::string folder = ValueExists(SettingsSection::Main, "ClaimDataDirectory") ? GetClaimDataDirectory() : "";
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

std::string DefaultDebugFileName() { return TuqDataFile("TuqLog.txt"); }
std::string DefaultNetworkDebugFileName() { return TuqDataFile("TuqNetLog.txt"); }

// The legacy serial flag counts until "PharmacyConfig" is stored.
std::string LegacyPharmacyConfig()
{
    bool legacy = ValueExists(SettingsSection::InputSerialPort, "Is3PMXenixSystem") && GetIs3PMXenixSystem();
    return legacy ? "1" : "0";
}

// --- Main: claim files and responses ---

std::string GetDataSourceType() { return Text(Setting("DataSourceType")); }
void SetDataSourceType(const std::string& value) { StoreText(Setting("DataSourceType"), value); }
void SetDataSourceFile() { SetDataSourceType("File"); }
void SetDataSourceSerialPort() { SetDataSourceType("SerialPort"); }
void SetDataSourceSocketPort() { SetDataSourceType("SocketPort"); }
void ClearDataSourceType() { SetDataSourceType(""); }
bool IsDataSourceFile() { return SameName(GetDataSourceType(), "File"); }
bool IsDataSourceSerialPort() { return SameName(GetDataSourceType(), "SerialPort"); }
bool IsDataSourceSocketPort() { return SameName(GetDataSourceType(), "SocketPort"); }

std::string GetClaimFileMask() { return Text(Setting("ClaimFileMask")); }
void SetClaimFileMask(const std::string& value) { StoreText(Setting("ClaimFileMask"), value); }
std::string GetClaimDataDirectory() { return Text(Setting("ClaimDataDirectory")); }
std::string GetResponseFileExtension() { return Text(Setting("ResponseFileExtension")); }
void SetResponseFileExtension(const std::string& value) { StoreText(Setting("ResponseFileExtension"), value); }
std::string GetResponseFileFolder() { return Text(Setting("ResponseFileFolder")); }
void SetResponseFileFolder(const std::string& value) { StoreText(Setting("ResponseFileFolder"), value); }
std::string GetClaimFileArchiveFolder() { return Text(Setting("ClaimFileArchiveFolder")); }
void SetClaimFileArchiveFolder(const std::string& value) { StoreText(Setting("ClaimFileArchiveFolder"), value); }
bool GetClaimFileArchiveTimestamp() { return Flag(Setting("ClaimFileArchiveTimestamp")); }
void SetClaimFileArchiveTimestamp(bool value) { StoreFlag(Setting("ClaimFileArchiveTimestamp"), value); }
int GetClaimFileRetries() { return Number(Setting("ClaimFileRetries")); }
void SetClaimFileRetries(int value) { StoreNumber(Setting("ClaimFileRetries"), value); }
int GetClaimFileRetryDelay() { return Number(Setting("ClaimFileRetryDelay")); }
void SetClaimFileRetryDelay(int value) { StoreNumber(Setting("ClaimFileRetryDelay"), value); }
bool GetClaimFileTrimAtNewline() { return Flag(Setting("ClaimFileTrimAtNewline")); }
void SetClaimFileTrimAtNewline(bool value) { StoreFlag(Setting("ClaimFileTrimAtNewline"), value); }

// --- Main: logging, identity, pharmacy system, window ---

bool GetEnableDebugMessages() { return Flag(Setting("EnableDebugMessages")); }
void SetEnableDebugMessages(bool value) { StoreFlag(Setting("EnableDebugMessages"), value); }
std::string GetDebugFileName() { return Text(Setting("DebugFileName")); }
void SetDebugFileName(const std::string& value) { StoreText(Setting("DebugFileName"), value); }
bool GetEnableSerialPortMessages() { return Flag(Setting("EnableSerialPortMessages")); }
void SetEnableSerialPortMessages(bool value) { StoreFlag(Setting("EnableSerialPortMessages"), value); }
bool GetEnableNetworkDebugMessages() { return Flag(Setting("EnableNetworkDebugMessages")); }
void SetEnableNetworkDebugMessages(bool value) { StoreFlag(Setting("EnableNetworkDebugMessages"), value); }
std::string GetNetworkDebugFileName() { return Text(Setting("NetworkDebugFileName")); }
void SetNetworkDebugFileName(const std::string& value) { StoreText(Setting("NetworkDebugFileName"), value); }
std::string GetSystemID() { return Text(Setting("SystemID")); }
void SetSystemID(const std::string& value) { StoreText(Setting("SystemID"), value); }

// A stored text that is no number reads as 0, not as the legacy flag.
int GetPharmacyConfig()
{
    if (!ValueExists(SettingsSection::Main, "PharmacyConfig"))
        return LegacyPharmacyConfig() == "1" ? 1 : 0;
    return InRangeOr(ReadInt(SettingsSection::Main, "PharmacyConfig", 0), 0, 7, 0);
}
void SetPharmacyConfig(int value) { StoreNumber(Setting("PharmacyConfig"), value); }

std::string GetMainFormCaption() { return Text(Setting("MainFormCaption")); }
int GetLeft() { return Number(Setting("Left")); }
void SetLeft(int value) { StoreNumber(Setting("Left"), value); }
int GetTop() { return Number(Setting("Top")); }
void SetTop(int value) { StoreNumber(Setting("Top"), value); }
int GetWidth(int designedWidth) { return ReadInt(SettingsSection::Main, "Width", designedWidth); }
void SetWidth(int value) { StoreNumber(Setting("Width"), value); }
int GetHeight(int designedHeight) { return ReadInt(SettingsSection::Main, "Height", designedHeight); }
void SetHeight(int value) { StoreNumber(Setting("Height"), value); }
bool GetVisible() { return Flag(Setting("Visible")); }
void SetVisible(bool value) { StoreFlag(Setting("Visible"), value); }

// --- Main: inbound socket and relay ---

std::string GetInboundHostName() { return Text(Setting("InboundHostName")); }
void SetInboundHostName(const std::string& value) { StoreText(Setting("InboundHostName"), value); }
int GetInboundPort() { return Port(Setting("InboundPort")); }
void SetInboundPort(int value) { StoreNumber(Setting("InboundPort"), value); }
int GetInboundSocketFormat() { return InRangeOr(Number(Setting("InboundSocketFormat")), 0, 3, 2); }
void SetInboundSocketFormat(int value) { StoreNumber(Setting("InboundSocketFormat"), value); }
int GetInboundIdleTimeout() { return Timeout(Setting("InboundIdleTimeout")); }
void SetInboundIdleTimeout(int value) { StoreNumber(Setting("InboundIdleTimeout"), value); }

// --- Main: outbound network ---

bool GetEnableNetwork1() { return Flag(Setting("EnableNetwork1")); }
void SetEnableNetwork1(bool value) { StoreFlag(Setting("EnableNetwork1"), value); }
bool GetEnableNetwork2() { return Flag(Setting("EnableNetwork2")); }
void SetEnableNetwork2(bool value) { StoreFlag(Setting("EnableNetwork2"), value); }
bool GetEnableNetwork3() { return Flag(Setting("EnableNetwork3")); }
void SetEnableNetwork3(bool value) { StoreFlag(Setting("EnableNetwork3"), value); }
std::string GetOutboundHostName1() { return Text(Setting("OutboundHostName1")); }
void SetOutboundHostName1(const std::string& value) { StoreText(Setting("OutboundHostName1"), value); }
std::string GetOutboundHostName2() { return Text(Setting("OutboundHostName2")); }
void SetOutboundHostName2(const std::string& value) { StoreText(Setting("OutboundHostName2"), value); }
std::string GetOutboundHostName3() { return Text(Setting("OutboundHostName3")); }
void SetOutboundHostName3(const std::string& value) { StoreText(Setting("OutboundHostName3"), value); }
int GetOutboundPort1A() { return Port(Setting("OutboundPort1A")); }
void SetOutboundPort1A(int value) { StoreNumber(Setting("OutboundPort1A"), value); }
int GetOutboundPort1B() { return Port(Setting("OutboundPort1B")); }
void SetOutboundPort1B(int value) { StoreNumber(Setting("OutboundPort1B"), value); }
int GetOutboundPort2A() { return Port(Setting("OutboundPort2A")); }
void SetOutboundPort2A(int value) { StoreNumber(Setting("OutboundPort2A"), value); }
int GetOutboundPort2B() { return Port(Setting("OutboundPort2B")); }
void SetOutboundPort2B(int value) { StoreNumber(Setting("OutboundPort2B"), value); }
int GetOutboundPort3A() { return Port(Setting("OutboundPort3A")); }
void SetOutboundPort3A(int value) { StoreNumber(Setting("OutboundPort3A"), value); }
int GetOutboundPort3B() { return Port(Setting("OutboundPort3B")); }
void SetOutboundPort3B(int value) { StoreNumber(Setting("OutboundPort3B"), value); }
int GetOutboundConnectTimeout() { return Timeout(Setting("OutboundConnectTimeout")); }
void SetOutboundConnectTimeout(int value) { StoreNumber(Setting("OutboundConnectTimeout"), value); }
int GetOutboundWriteTimeout() { return Timeout(Setting("OutboundWriteTimeout")); }
void SetOutboundWriteTimeout(int value) { StoreNumber(Setting("OutboundWriteTimeout"), value); }
int GetOutboundOverallTimeout() { return Timeout(Setting("OutboundOverallTimeout")); }
void SetOutboundOverallTimeout(int value) { StoreNumber(Setting("OutboundOverallTimeout"), value); }
bool GetPersistentOutboundConnection() { return Flag(Setting("PersistentOutboundConnection")); }
void SetPersistentOutboundConnection(bool value) { StoreFlag(Setting("PersistentOutboundConnection"), value); }
bool GetEnableOutboundSSLCommunications() { return Flag(Setting("EnableOutboundSSLCommunications")); }
void SetEnableOutboundSSLCommunications(bool value) { StoreFlag(Setting("EnableOutboundSSLCommunications"), value); }
std::string GetSSLCertificateFileName() { return Text(Setting("SSLCertificateFileName")); }
void SetSSLCertificateFileName(const std::string& value) { StoreText(Setting("SSLCertificateFileName"), value); }
std::string GetSSLCAFileName() { return Text(Setting("SSLCAFileName")); }
void SetSSLCAFileName(const std::string& value) { StoreText(Setting("SSLCAFileName"), value); }
std::string GetSSLClientPassword() { return Text(Setting("SSLClientPassword")); }
void SetSSLClientPassword(const std::string& value) { StoreText(Setting("SSLClientPassword"), value); }
bool GetEnableOutboundTwofishSecurity() { return Flag(Setting("EnableOutboundTwofishSecurity")); }
void SetEnableOutboundTwofishSecurity(bool value) { StoreFlag(Setting("EnableOutboundTwofishSecurity"), value); }

// --- Main: modem ---

bool GetConnectViaTapi() { return Flag(Setting("ConnectViaTapi")); }
void SetConnectViaTapi(bool value) { StoreFlag(Setting("ConnectViaTapi"), value); }
std::string GetTapiDeviceName() { return Text(Setting("TapiDeviceName")); }
void SetTapiDeviceName(const std::string& value) { StoreText(Setting("TapiDeviceName"), value); }
std::string GetPhoneNumber() { return Text(Setting("PhoneNumber")); }
void SetPhoneNumber(const std::string& value) { StoreText(Setting("PhoneNumber"), value); }
bool GetShowTapiStatusPanel() { return Flag(Setting("ShowTapiStatusPanel")); }
void SetShowTapiStatusPanel(bool value) { StoreFlag(Setting("ShowTapiStatusPanel"), value); }
int GetTapiRetries() { return Number(Setting("TapiRetries")); }
void SetTapiRetries(int value) { StoreNumber(Setting("TapiRetries"), value); }
int GetTapiRetryDelay() { return Number(Setting("TapiRetryDelay")); }
void SetTapiRetryDelay(int value) { StoreNumber(Setting("TapiRetryDelay"), value); }
int GetTapiReplyTimeout() { return Number(Setting("TapiReplyTimeout")); }
void SetTapiReplyTimeout(int value) { StoreNumber(Setting("TapiReplyTimeout"), value); }

TapiConfigBlock ReadTapiConfig()
{
    TapiConfigBlock block;
    std::optional<std::vector<uint8_t>> bytes = ReadBinary(SettingsSection::Main, "TapiConfig");
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
    WriteBinary(SettingsSection::Main, "TapiConfig",
                std::vector<uint8_t>(block.data.begin(), block.data.begin() + block.size));
}

void DeleteTapiConfig() { DeleteValue(SettingsSection::Main, "TapiConfig"); }

// --- InputSerialPort ---

int GetComNumber() { return Number(Setting("ComNumber")); }
void SetComNumber(int value) { StoreNumber(Setting("ComNumber"), value); }
int GetBaud() { return Number(Setting("Baud")); }
void SetBaud(int value) { StoreNumber(Setting("Baud"), value); }
int GetDataBits() { return Number(Setting("DataBits")); }
void SetDataBits(int value) { StoreNumber(Setting("DataBits"), value); }
int GetStopBits() { return Number(Setting("StopBits")); }
void SetStopBits(int value) { StoreNumber(Setting("StopBits"), value); }
int GetParity() { return Number(Setting("Parity")); }
void SetParity(int value) { StoreNumber(Setting("Parity"), value); }
bool GetDtrDsr() { return Flag(Setting("DtrDsr")); }
void SetDtrDsr(bool value) { StoreFlag(Setting("DtrDsr"), value); }
bool GetRtsCts() { return Flag(Setting("RtsCts")); }
void SetRtsCts(bool value) { StoreFlag(Setting("RtsCts"), value); }
bool GetSoftwareTransmit() { return Flag(Setting("SoftwareTransmit")); }
void SetSoftwareTransmit(bool value) { StoreFlag(Setting("SoftwareTransmit"), value); }
bool GetSoftwareReceive() { return Flag(Setting("SoftwareReceive")); }
void SetSoftwareReceive(bool value) { StoreFlag(Setting("SoftwareReceive"), value); }
int GetXOnChar() { return Number(Setting("XOnChar")); }
void SetXOnChar(int value) { StoreNumber(Setting("XOnChar"), value); }
int GetXOffChar() { return Number(Setting("XOffChar")); }
void SetXOffChar(int value) { StoreNumber(Setting("XOffChar"), value); }
bool GetVisa2() { return Flag(Setting("Visa2")); }
void SetVisa2(bool value) { StoreFlag(Setting("Visa2"), value); }
bool GetLrc() { return Flag(Setting("Lrc")); }
void SetLrc(bool value) { StoreFlag(Setting("Lrc"), value); }
bool GetEnqHalfSecDelay() { return Flag(Setting("EnqHalfSecDelay")); }
void SetEnqHalfSecDelay(bool value) { StoreFlag(Setting("EnqHalfSecDelay"), value); }
double GetSPEnqPause() { return Real(Setting("SPEnqPause")); }
void SetSPEnqPause(double value) { StoreReal(Setting("SPEnqPause"), value); }
int GetSPClientRetries() { return Number(Setting("SPClientRetries")); }
void SetSPClientRetries(int value) { StoreNumber(Setting("SPClientRetries"), value); }
bool GetClosePortOnHangup() { return Flag(Setting("ClosePortOnHangup")); }
void SetClosePortOnHangup(bool value) { StoreFlag(Setting("ClosePortOnHangup"), value); }
bool GetIs3PMXenixSystem() { return Flag(Setting("Is3PMXenixSystem")); }

// --- Network ---

int GetNetConnectType()
{
    int type = Number(Setting("NetConnectType"));
    return type == 1 || type == 2 ? type : 0;
}
void SetNetConnectType(int value) { StoreNumber(Setting("NetConnectType"), value); }
std::string GetDialUpConnection() { return Text(Setting("DialUpConnection")); }
void SetDialUpConnection(const std::string& value) { StoreText(Setting("DialUpConnection"), value); }
bool GetConnectOnStartup() { return Flag(Setting("ConnectOnStartup")); }
void SetConnectOnStartup(bool value) { StoreFlag(Setting("ConnectOnStartup"), value); }
std::string GetDialUpUser() { return Text(Setting("DialUpUser")); }
void SetDialUpUser(const std::string& value) { StoreText(Setting("DialUpUser"), value); }
std::string GetDialUpPwd() { return Text(Setting("DialUpPwd")); }
void SetDialUpPwd(const std::string& value) { StoreText(Setting("DialUpPwd"), value); }
std::string GetDialUpDomain() { return Text(Setting("DialUpDomain")); }
void SetDialUpDomain(const std::string& value) { StoreText(Setting("DialUpDomain"), value); }
std::string GetDialUpPhone() { return Text(Setting("DialUpPhone")); }
void SetDialUpPhone(const std::string& value) { StoreText(Setting("DialUpPhone"), value); }
