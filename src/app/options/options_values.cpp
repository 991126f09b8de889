#include "app/options/options_values.h"

#include "base/general_log.h"
#include "relay/socket_util.h"
#include "transports/ppp_links.h"

#include <QString>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

bool Contains(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

// A number edit: the stored number as decimal text.
std::string Text(int number)
{
    return std::to_string(number);
}

int PositiveOr(const std::string& text, int fallback)
{
    int number = DecimalOrZero(text);
    return number > 0 ? number : fallback;
}

std::string UpperCase(const std::string& text)
{
    return QString::fromStdString(text).toUpper().toStdString();
}

DataSourceChoice StoredDataSource()
{
    if (IsDataSourceFile())
        return DataSourceChoice::ClaimFiles;
    if (IsDataSourceSerialPort())
        return DataSourceChoice::SerialPort;
    if (IsDataSourceSocketPort())
        return DataSourceChoice::SocketPort;
    return DataSourceChoice::None;
}

// The stored modem must still be present; the dialog forgets one that is
// gone at once, so that nothing dials a device that no longer exists.
void LoadModem(OptionsValues& values, LoadPurpose purpose)
{
    values.modemName = GetTapiDeviceName();
    if (values.modemName.empty())
        return;
    if (IsTapiDeviceInstalled(values.modemName)) {
        values.tapiConfig = ReadTapiConfig();
        return;
    }
    values.modemName.clear();
    if (purpose == LoadPurpose::Dialog) {
        SetTapiDeviceName("");
        DeleteTapiConfig();
    }
}

void LoadSerialPort(OptionsValues& values, LoadPurpose purpose)
{
    for (int number : ExistingComPorts())
        if (number <= kHighestListedComPort)
            values.comPorts.push_back(number);
    int stored = GetComNumber();
    bool listed = std::find(values.comPorts.begin(), values.comPorts.end(), stored) != values.comPorts.end();
    if (listed)
        values.comNumber = stored;
    else if (purpose == LoadPurpose::Dialog && !values.comPorts.empty())
        values.comNumber = values.comPorts.front();

    int baud = GetBaud();
    values.baud = std::find(kBaudRates.begin(), kBaudRates.end(), baud) != kBaudRates.end() ? baud : 19200;
    // A stored value that no list entry shows selects the first entry.
    int parity = GetParity();
    values.parity = parity >= 0 && parity <= 4 ? parity : 0;
    int dataBits = GetDataBits();
    values.dataBits = dataBits >= 5 && dataBits <= 8 ? dataBits : 8;
    values.stopBits = GetStopBits() == 2 ? 2 : 1;
    values.dtrDsr = GetDtrDsr();
    values.rtsCts = GetRtsCts();
    values.softwareTransmit = GetSoftwareTransmit();
    values.softwareReceive = GetSoftwareReceive();
    values.xonChar = Text(GetXOnChar());
    values.xoffChar = Text(GetXOffChar());
    values.visa2 = GetVisa2();
    values.lrc = GetLrc();
    values.enqPauseEnabled = GetEnqHalfSecDelay();
    values.enqPause = FormatEnqPause(GetSPEnqPause());
    values.closePortOnHangup = GetClosePortOnHangup();
    values.spClientRetries = Text(GetSPClientRetries());
}

void LoadDialParametersFromStore(OptionsValues& values)
{
    values.dialUpUser = GetDialUpUser();
    values.dialUpPassword = GetDialUpPwd();
    values.dialUpPhone = GetDialUpPhone();
    values.dialUpDomain = GetDialUpDomain();
}

// The first entry is selected only because the stored one is not in the
// phone book; what the user typed must survive opening the dialog and OK.
// An empty value still shows the entry's own, as the dial takes it then.
void KeepStoredDialParameters(OptionsValues& values)
{
    const std::pair<std::string*, std::string> stored[] = {
        {&values.dialUpUser, GetDialUpUser()},
        {&values.dialUpPassword, GetDialUpPwd()},
        {&values.dialUpPhone, GetDialUpPhone()},
        {&values.dialUpDomain, GetDialUpDomain()},
    };
    for (const auto& [shown, value] : stored)
        if (!value.empty())
            *shown = value;
}

// The check command leaves the phone book to pppd: it reports its own
// errors when it dials.
void LoadDialUp(OptionsValues& values, LoadPurpose purpose)
{
    if (purpose == LoadPurpose::Dialog) {
        try {
            values.dialUpEntries = ListPeerEntries();
        } catch (const std::exception& error) {
            LogMsg("Options Panel: Cannot read the dial-up entries: %s", error.what());
            values.dialUpAvailable = false;
        }
    }
    int type = GetNetConnectType();
    values.lanSelected = type == 1;
    values.dialUpSelected = type == 2 && values.dialUpAvailable;
    values.connectOnStartup = GetConnectOnStartup();

    std::string stored = GetDialUpConnection();
    // Without entries to choose from, the stored ones stay as they are.
    bool keepStored = values.dialUpEntries.empty() || Contains(values.dialUpEntries, stored);
    values.dialUpConnection = keepStored ? stored : values.dialUpEntries.front();
    FillDialParameters(values);
    if (!keepStored)
        KeepStoredDialParameters(values);
}

// A port the relay could listen on, for a configuration that has none yet.
std::string DefaultListenPort(const std::string& host)
{
    std::string trimmed = TrimBlanks(host);
    LogMsg("Options Panel: Identify a usable default listen port. Host: '%s', Seed Port: %d", trimmed.c_str(),
           kListenPortSeed);
    int port = FindFreeListenPort(trimmed.c_str(), kListenPortSeed, LogMsg);
    if (port > 0) {
        LogMsg("Options Panel: Default listen port %d.", port);
        return Text(port);
    }
    LogMsg("Options Panel: Could not find a listen port; defaulting to port %d.", kListenPortSeed);
    return Text(kListenPortSeed);
}

void LoadSocketAndNetwork(OptionsValues& values, LoadPurpose purpose)
{
    values.inboundHost = GetInboundHostName();
    int port = GetInboundPort();
    if ((port < 1 || port > 65535) && purpose == LoadPurpose::Dialog)
        values.inboundPort = DefaultListenPort(values.inboundHost);
    else
        values.inboundPort = Text(port);
    values.idleTimeout = Text(GetInboundIdleTimeout());
    values.inboundFormatIndex = InboundFormatIndexOf(GetInboundSocketFormat());
    values.connectTimeout = Text(GetOutboundConnectTimeout());
    values.writeTimeout = Text(GetOutboundWriteTimeout());
    values.overallTimeout = Text(GetOutboundOverallTimeout());
    values.persistentConnection = GetPersistentOutboundConnection();
    values.ssl = GetEnableOutboundSSLCommunications();
    values.twofish = GetEnableOutboundTwofishSecurity();
    values.certificateFile = GetSSLCertificateFileName();
    values.caFile = GetSSLCAFileName();
    values.clientPassword = GetSSLClientPassword();
}

void LoadHosts(OptionsValues& values)
{
    values.hostEnabled = {GetEnableNetwork1(), GetEnableNetwork2(), GetEnableNetwork3()};
    values.hostName = {GetOutboundHostName1(), GetOutboundHostName2(), GetOutboundHostName3()};
    values.portA = {Text(GetOutboundPort1A()), Text(GetOutboundPort2A()), Text(GetOutboundPort3A())};
    values.portB = {Text(GetOutboundPort1B()), Text(GetOutboundPort2B()), Text(GetOutboundPort3B())};
}

void SaveHosts(const OptionsValues& values)
{
    SetEnableNetwork1(values.hostEnabled[0]);
    SetOutboundHostName1(values.hostName[0]);
    SetOutboundPort1A(DecimalOrZero(values.portA[0]));
    SetOutboundPort1B(DecimalOrZero(values.portB[0]));
    SetEnableNetwork2(values.hostEnabled[1]);
    SetOutboundHostName2(values.hostName[1]);
    SetOutboundPort2A(DecimalOrZero(values.portA[1]));
    SetOutboundPort2B(DecimalOrZero(values.portB[1]));
    SetEnableNetwork3(values.hostEnabled[2]);
    SetOutboundHostName3(values.hostName[2]);
    SetOutboundPort3A(DecimalOrZero(values.portA[2]));
    SetOutboundPort3B(DecimalOrZero(values.portB[2]));
}

void SaveClaimFilesAndLog(const OptionsValues& values)
{
    ClearDataSourceType();
    SetClaimFileMask(values.claimFileMask);
    SetResponseFileExtension(values.responseFileExtension);
    SetResponseFileFolder(values.responseFileFolder);
    SetClaimFileArchiveFolder(values.archiveFolder);
    SetClaimFileArchiveTimestamp(values.archiveTimestamp);
    if (values.dataSource == DataSourceChoice::ClaimFiles)
        SetDataSourceFile();
    SetClaimFileRetries(PositiveOr(values.claimFileRetries, 3));
    int delay = DecimalOrZero(values.claimFileRetryDelay);
    SetClaimFileRetryDelay(delay < 0 ? 10 : delay);
    SetClaimFileTrimAtNewline(values.trimAtNewline);
    SetDebugFileName(TrimBlanks(values.debugFileName));
    SetEnableDebugMessages(values.debugMessages);
    SetEnableSerialPortMessages(values.serialPortMessages);
}

void SaveModem(const OptionsValues& values)
{
    SetConnectViaTapi(values.connectViaTapi);
    SetShowTapiStatusPanel(values.showTapiStatusPanel);
    SetTapiDeviceName(values.modemName);
    if (values.modemName.empty())
        DeleteTapiConfig();
    else
        WriteTapiConfig(values.tapiConfig);
    SetPhoneNumber(values.phoneNumber);
    SetTapiReplyTimeout(PositiveOr(values.tapiReplyTimeout, 30));
    SetTapiRetries(PositiveOr(values.tapiRetries, 3));
    SetTapiRetryDelay(PositiveOr(values.tapiRetryDelay, 1));
}

void SaveSerialPort(const OptionsValues& values)
{
    SetComNumber(values.comNumber);
    SetBaud(values.baud);
    SetParity(values.parity);
    SetDataBits(values.dataBits);
    SetStopBits(values.stopBits);
    SetDtrDsr(values.dtrDsr);
    SetRtsCts(values.rtsCts);
    SetSoftwareTransmit(values.softwareTransmit);
    SetSoftwareReceive(values.softwareReceive);
    SetXOnChar(DecimalOrZero(values.xonChar));
    SetXOffChar(DecimalOrZero(values.xoffChar));
    SetVisa2(values.visa2);
    SetLrc(values.lrc);
    SetEnqHalfSecDelay(values.enqPauseEnabled);
    SetSPEnqPause(ParseEnqPause(values.enqPause));
    SetClosePortOnHangup(values.closePortOnHangup);
    SetSPClientRetries(PositiveOr(values.spClientRetries, 3));
    if (values.dataSource == DataSourceChoice::SerialPort)
        SetDataSourceSerialPort();
}

void SaveDialUp(const OptionsValues& values)
{
    SetPharmacyConfig(values.pharmacyConfig);
    SetNetConnectType(values.lanSelected ? 1 : values.dialUpSelected ? 2 : 0);
    SetDialUpConnection(values.dialUpConnection);
    SetConnectOnStartup(values.connectOnStartup);
    SetDialUpUser(values.dialUpUser);
    SetDialUpPwd(values.dialUpPassword);
    SetDialUpDomain(values.dialUpDomain);
    SetDialUpPhone(values.dialUpPhone);
}

void SaveNetworkAndSecurity(const OptionsValues& values)
{
    SetOutboundConnectTimeout(DecimalOrZero(values.connectTimeout));
    SetOutboundWriteTimeout(DecimalOrZero(values.writeTimeout));
    SetOutboundOverallTimeout(DecimalOrZero(values.overallTimeout));
    SetPersistentOutboundConnection(values.persistentConnection);
    SetEnableOutboundSSLCommunications(values.ssl);
    SetEnableOutboundTwofishSecurity(values.twofish);
    SetSSLCertificateFileName(values.certificateFile);
    SetSSLCAFileName(values.caFile);
    SetSSLClientPassword(values.clientPassword);
}

void SaveSocketPort(const OptionsValues& values)
{
    if (values.dataSource == DataSourceChoice::SocketPort)
        SetDataSourceSocketPort();
    SetInboundHostName(values.inboundHost);
    SetInboundPort(DecimalOrZero(values.inboundPort));
    SetInboundIdleTimeout(DecimalOrZero(values.idleTimeout));
    SetInboundSocketFormat(InboundFormatOf(values.inboundFormatIndex));
}

}  // namespace

const std::vector<std::string>& InboundFormatNames()
{
    static const std::vector<std::string> names{"Tuq Header", "MxSock - No Security", "MxSock - 128-bit Twofish",
                                                "Tuq Header + Twofish"};
    return names;
}

int InboundFormatIndexOf(int stored)
{
    switch (stored) {
    case 0: return 1;
    case 1: return 2;
    case 3: return 3;
    default: return 0;
    }
}

int InboundFormatOf(int index)
{
    switch (index) {
    case 1: return 0;
    case 2: return 1;
    case 3: return 3;
    default: return 2;
    }
}

const std::vector<std::string>& PharmacyConfigNames()
{
    static const std::vector<std::string> names{"Unspecified",
                                                "3PM Xenix Multi-Tech",
                                                "HCC Synercom US Robotics Sportster V.92",
                                                "WinTapi US Robotics Courier V.Everything",
                                                "McKesson Pharmaserve For Windows 09/2004",
                                                "McKesson Pharmaserve For Windows 33.6 (10/2004)",
                                                "Zadall",
                                                "HCC Synercom US Robotics Sportster V.92 DTR2CD"};
    return names;
}

std::string TrimBlanks(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::optional<int> ParseDecimal(const std::string& text)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    int number = 0;
    auto [stop, error] = std::from_chars(begin, end, number);
    if (error != std::errc() || stop != end || begin == end)
        return std::nullopt;
    return number;
}

int DecimalOrZero(const std::string& text)
{
    return ParseDecimal(text).value_or(0);
}

std::string FormatEnqPause(double seconds)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", std::round(seconds * 10.0) / 10.0);
    return text;
}

double ParseEnqPause(const std::string& text)
{
    bool ok = false;
    double seconds = QString::fromStdString(text).toDouble(&ok);
    return ok ? seconds : 0.5;
}

void FillDialParameters(OptionsValues& values)
{
    if (values.dialUpConnection == GetDialUpConnection()) {
        LoadDialParametersFromStore(values);
        return;
    }
    PeerEntry entry;
    if (!ReadPeerEntry(values.dialUpConnection, entry))
        return;
    values.dialUpUser = entry.user;
    values.dialUpPassword = entry.password;
    values.dialUpPhone = entry.phone;
    values.dialUpDomain.clear();
}

bool AnyHostEnabled(const OptionsValues& values)
{
    return values.hostEnabled[0] || values.hostEnabled[1] || values.hostEnabled[2];
}

OptionsValues LoadOptionsValues(LoadPurpose purpose)
{
    OptionsValues values;
    values.dataSource = StoredDataSource();
    values.claimFileMask = GetClaimFileMask();
    values.claimFileRetries = Text(GetClaimFileRetries());
    values.claimFileRetryDelay = Text(GetClaimFileRetryDelay());
    values.trimAtNewline = GetClaimFileTrimAtNewline();
    values.responseFileExtension = GetResponseFileExtension();
    values.responseFileFolder = GetResponseFileFolder();
    values.archiveFolder = GetClaimFileArchiveFolder();
    values.archiveTimestamp = GetClaimFileArchiveTimestamp();
    values.debugFileName = GetDebugFileName();
    values.debugMessages = GetEnableDebugMessages();
    values.serialPortMessages = GetEnableSerialPortMessages();

    LoadHosts(values);
    values.connectViaTapi = GetConnectViaTapi();
    values.showTapiStatusPanel = GetShowTapiStatusPanel();
    LoadModem(values, purpose);
    values.tapiRetries = Text(GetTapiRetries());
    values.tapiRetryDelay = Text(GetTapiRetryDelay());
    values.tapiReplyTimeout = Text(GetTapiReplyTimeout());

    LoadSerialPort(values, purpose);
    try {
        values.pharmacyConfig = GetPharmacyConfig();
    } catch (const SettingsError& error) {
        LogMsg("Options Panel: %s", error.what());
        values.pharmacyConfig = 0;
    }
    values.phoneNumber = GetPhoneNumber();
    LoadDialUp(values, purpose);
    LoadSocketAndNetwork(values, purpose);
    values.netDebugFileName = GetNetworkDebugFileName();
    values.netDebugMessages = GetEnableNetworkDebugMessages();
    values.systemId = GetSystemID();
    return values;
}

void SaveOptionsValues(OptionsValues values)
{
    if (values.dataSource != DataSourceChoice::SocketPort && AnyHostEnabled(values))
        values.inboundFormatIndex = kMxSockTwofishIndex;
    if (values.dataSource == DataSourceChoice::ClaimFiles) {
        values.claimFileMask = TrimBlanks(values.claimFileMask);
        values.responseFileExtension = TrimBlanks(values.responseFileExtension);
        values.responseFileFolder = TrimBlanks(values.responseFileFolder);
        values.archiveFolder = TrimBlanks(values.archiveFolder);
    }
    SaveClaimFilesAndLog(values);
    SaveHosts(values);
    SaveModem(values);
    SaveSerialPort(values);
    SaveDialUp(values);
    SaveNetworkAndSecurity(values);
    SaveSocketPort(values);
    SetNetworkDebugFileName(TrimBlanks(values.netDebugFileName));
    SetEnableNetworkDebugMessages(values.netDebugMessages);
    SetSystemID(UpperCase(values.systemId));
}
