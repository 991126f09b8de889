#pragma once
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// The per-user settings store. Nothing is cached: every getter reads the
// settings file anew and every setter writes one value at once, so a change
// made by the Options dialog or by hand takes effect at the next read.
// A missing value or key gives the default. Failures throw SettingsError.

class SettingsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class SettingsSection { Main, InputSerialPort, Network };

// The configuration name selects the key Software\Tuq Network\Corvane\<name>;
// set once at start-up, before any other access.
void SetConfigName(const std::string& name);
std::string GetConfigName();

// True when the section's key holds a value of that name, of any type.
bool ValueExists(SettingsSection section, const std::string& name);

// --- Main: claim files and responses ---
std::string GetDataSourceType();
void SetDataSourceType(const std::string& value);
void SetDataSourceFile();
void SetDataSourceSerialPort();
void SetDataSourceSocketPort();
void ClearDataSourceType();
bool IsDataSourceFile();
bool IsDataSourceSerialPort();
bool IsDataSourceSocketPort();

std::string GetClaimFileMask();
void SetClaimFileMask(const std::string& value);
std::string GetClaimDataDirectory();
std::string GetResponseFileExtension();
void SetResponseFileExtension(const std::string& value);
std::string GetResponseFileFolder();
void SetResponseFileFolder(const std::string& value);
std::string GetClaimFileArchiveFolder();
void SetClaimFileArchiveFolder(const std::string& value);
bool GetClaimFileArchiveTimestamp();
void SetClaimFileArchiveTimestamp(bool value);
int GetClaimFileRetries();
void SetClaimFileRetries(int value);
int GetClaimFileRetryDelay();
void SetClaimFileRetryDelay(int value);
bool GetClaimFileTrimAtNewline();
void SetClaimFileTrimAtNewline(bool value);

// --- Main: logging, identity, pharmacy system, window ---
bool GetEnableDebugMessages();
void SetEnableDebugMessages(bool value);
std::string GetDebugFileName();
void SetDebugFileName(const std::string& value);
bool GetEnableSerialPortMessages();
void SetEnableSerialPortMessages(bool value);
bool GetEnableNetworkDebugMessages();
void SetEnableNetworkDebugMessages(bool value);
std::string GetNetworkDebugFileName();
void SetNetworkDebugFileName(const std::string& value);
std::string GetSystemID();
void SetSystemID(const std::string& value);
int GetPharmacyConfig();  // 0..7
void SetPharmacyConfig(int value);
std::string GetMainFormCaption();  // "" when absent; see ValueExists
int GetLeft();
void SetLeft(int value);
int GetTop();
void SetTop(int value);
int GetWidth(int designedWidth);
void SetWidth(int value);
int GetHeight(int designedHeight);
void SetHeight(int value);
bool GetVisible();
void SetVisible(bool value);

// --- Main: inbound socket and relay ---
std::string GetInboundHostName();
void SetInboundHostName(const std::string& value);
int GetInboundPort();  // 0..65535, else 0
void SetInboundPort(int value);
int GetInboundSocketFormat();  // 0..3, else 2
void SetInboundSocketFormat(int value);
int GetInboundIdleTimeout();
void SetInboundIdleTimeout(int value);

// --- Main: outbound network ---
bool GetEnableNetwork1();
void SetEnableNetwork1(bool value);
bool GetEnableNetwork2();
void SetEnableNetwork2(bool value);
bool GetEnableNetwork3();
void SetEnableNetwork3(bool value);
std::string GetOutboundHostName1();
void SetOutboundHostName1(const std::string& value);
std::string GetOutboundHostName2();
void SetOutboundHostName2(const std::string& value);
std::string GetOutboundHostName3();
void SetOutboundHostName3(const std::string& value);
int GetOutboundPort1A();
void SetOutboundPort1A(int value);
int GetOutboundPort1B();
void SetOutboundPort1B(int value);
int GetOutboundPort2A();
void SetOutboundPort2A(int value);
int GetOutboundPort2B();
void SetOutboundPort2B(int value);
int GetOutboundPort3A();
void SetOutboundPort3A(int value);
int GetOutboundPort3B();
void SetOutboundPort3B(int value);
int GetOutboundConnectTimeout();
void SetOutboundConnectTimeout(int value);
int GetOutboundWriteTimeout();
void SetOutboundWriteTimeout(int value);
int GetOutboundOverallTimeout();
void SetOutboundOverallTimeout(int value);
bool GetPersistentOutboundConnection();
void SetPersistentOutboundConnection(bool value);
bool GetEnableOutboundSSLCommunications();
void SetEnableOutboundSSLCommunications(bool value);
std::string GetSSLCertificateFileName();
void SetSSLCertificateFileName(const std::string& value);
std::string GetSSLCAFileName();
void SetSSLCAFileName(const std::string& value);
std::string GetSSLClientPassword();
void SetSSLClientPassword(const std::string& value);
bool GetEnableOutboundTwofishSecurity();
void SetEnableOutboundTwofishSecurity(bool value);

// --- Main: modem ---
bool GetConnectViaTapi();
void SetConnectViaTapi(bool value);
std::string GetTapiDeviceName();
void SetTapiDeviceName(const std::string& value);
std::string GetPhoneNumber();
void SetPhoneNumber(const std::string& value);
bool GetShowTapiStatusPanel();
void SetShowTapiStatusPanel(bool value);
int GetTapiRetries();
void SetTapiRetries(int value);
int GetTapiRetryDelay();
void SetTapiRetryDelay(int value);
int GetTapiReplyTimeout();
void SetTapiReplyTimeout(int value);

// The modem's configuration block: size bytes of data are stored.
struct TapiConfigBlock {
    uint32_t size = 0;
    std::array<uint8_t, 1024> data{};
};
TapiConfigBlock ReadTapiConfig();  // size 0 and zeros when absent
void WriteTapiConfig(const TapiConfigBlock& block);
void DeleteTapiConfig();

// --- InputSerialPort ---
int GetComNumber();
void SetComNumber(int value);
int GetBaud();
void SetBaud(int value);
int GetDataBits();
void SetDataBits(int value);
int GetStopBits();
void SetStopBits(int value);
int GetParity();
void SetParity(int value);
bool GetDtrDsr();
void SetDtrDsr(bool value);
bool GetRtsCts();
void SetRtsCts(bool value);
bool GetSoftwareTransmit();
void SetSoftwareTransmit(bool value);
bool GetSoftwareReceive();
void SetSoftwareReceive(bool value);
int GetXOnChar();
void SetXOnChar(int value);
int GetXOffChar();
void SetXOffChar(int value);
bool GetVisa2();
void SetVisa2(bool value);
bool GetLrc();
void SetLrc(bool value);
bool GetEnqHalfSecDelay();
void SetEnqHalfSecDelay(bool value);
double GetSPEnqPause();
void SetSPEnqPause(double value);
int GetSPClientRetries();
void SetSPClientRetries(int value);
bool GetClosePortOnHangup();
void SetClosePortOnHangup(bool value);
bool GetIs3PMXenixSystem();

// --- Network (dial-up networking) ---
int GetNetConnectType();  // 1 local network, 2 dial-up, else 0
void SetNetConnectType(int value);
std::string GetDialUpConnection();
void SetDialUpConnection(const std::string& value);
bool GetConnectOnStartup();
void SetConnectOnStartup(bool value);
std::string GetDialUpUser();
void SetDialUpUser(const std::string& value);
std::string GetDialUpPwd();
void SetDialUpPwd(const std::string& value);
std::string GetDialUpDomain();
void SetDialUpDomain(const std::string& value);
std::string GetDialUpPhone();
void SetDialUpPhone(const std::string& value);

// --- Defaults that depend on this computer or on other values ---
// "ClaimDataDirectory" followed by "/*.clm", else $HOME/TuqData/*.clm.
std::string ClaimFileMaskDefault();
// $HOME/TuqData/TuqLog.txt: the general log when "DebugFileName" is missing.
std::string DefaultDebugFileName();
std::string DefaultNetworkDebugFileName();
// The host name, or its first address when the name is all digits.
std::string InboundHostNameDefault();
// The host name's first 8 characters in upper case.
std::string SystemIDDefault();
// "1" while "PharmacyConfig" is missing and the older serial flag is on.
std::string LegacyPharmacyConfig();

// --- Predicates: each reads what it needs at the moment of the call ---
bool IsInboundSocketConfigured();
bool IsOutboundNetworkConfigured();
bool IsDialUpSelected();
// A modem line device is a Hayes modem on a serial device: "COM<n>" whose
// device exists, or the absolute path of an existing character device.
bool IsTapiDeviceInstalled(const std::string& name);
// The device file of a modem name: COM<n> by the Ports key, else the name.
std::string ModemDevicePath(const std::string& name);
// The names a user recognises for the modems present: the entries of
// /dev/serial/by-id/, the COM<n> of the Ports key whose device exists, and
// the ttyS, ttyUSB and ttyACM devices.
std::vector<std::string> ModemDeviceNames();
bool IsConnectionConfigured();
bool IsDataSourceConfigured();

// --- Serial devices ---
// The device of COM<n>: the text value "COM<n>" of the key ...\Ports under
// the configuration's key, else under Software\Tuq Network\Corvane, else
// /dev/ttyS<n-1>.
std::string ComPortDevice(int comNumber);
// Stores the device of COM<n> under Software\Tuq Network\Corvane\Ports.
void SetComPortDevice(int comNumber, const std::string& device);
// The n of 1..64 whose device exists.
std::vector<int> ExistingComPorts();
