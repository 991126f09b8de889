#pragma once
#include "config/settings.h"

#include <string>
#include <string_view>

// Every setting with its key, type, default and meaning. The getters read
// their defaults from here, --print-settings fills the missing values in
// from here, and the settings reference is generated from it.

enum class SettingType {
    Text,    // "text"
    Number,  // dword:0000000f (hexadecimal), or the decimal text "15"
    Flag,    // "1" or "0" (a dword reads the same)
    Real,    // hex: eight bytes of a little-endian IEEE double
    Block,   // hex: up to 1024 bytes
};

struct SettingDefinition {
    SettingsSection section;
    std::string_view group;  // the heading it is listed under
    std::string_view name;
    SettingType type;
    std::string_view fallback = {};  // the default, written as it would be stored
    // A default that depends on this computer or on other values; returns
    // the value as it would be stored.
    std::string (*deriveFallback)() = nullptr;
    // For a derived default or none at all: what the reference says instead.
    std::string_view fallbackNote = {};
    bool noFallback = false;  // without the value the program does something else (fallbackNote)
    std::string_view meaning = {};
    std::string_view values = {};  // what it takes, where the type alone does not say
    bool secret = false;           // never printed
};

namespace setting_groups {
inline constexpr std::string_view ClaimFiles = "Claim files and responses";
inline constexpr std::string_view Logging = "Logs, identity, pharmacy system and window";
inline constexpr std::string_view Inbound = "Inbound socket and relay";
inline constexpr std::string_view Outbound = "Switch hosts";
inline constexpr std::string_view Modem = "Claims by modem";
inline constexpr std::string_view Serial = "Serial data source";
inline constexpr std::string_view DialUp = "Dial-up networking";
}  // namespace setting_groups

inline constexpr SettingDefinition kSettingsTable[] = {
    // Claim files and responses
    {.section = SettingsSection::Main, .group = setting_groups::ClaimFiles, .name = "DataSourceType",
     .type = SettingType::Text, .fallback = "File", .meaning = "Where claims come from.",
     .values = "\"File\" (a claim folder), \"SerialPort\" (a pharmacy system on a serial line), "
               "\"SocketPort\" (pharmacy systems on the inbound port); any other text selects none"},
    {.section = SettingsSection::Main, .group = setting_groups::ClaimFiles, .name = "ClaimFileMask",
     .type = SettingType::Text, .deriveFallback = ClaimFileMaskDefault,
     .fallbackNote = "`ClaimDataDirectory` followed by `/*.clm`, else `$HOME/TuqData/*.clm`",
     .meaning = "The folder and file pattern of the claim files.",
     .values = "a folder followed by a pattern such as `*.clm`; a final `*.*` takes every file"},
    {.section = SettingsSection::Main, .group = setting_groups::ClaimFiles, .name = "ClaimDataDirectory",
     .type = SettingType::Text, .fallback = "",
     .meaning = "The claim folder of older versions; read only for the default of `ClaimFileMask`, never "
                "written."},
    {.section = SettingsSection::Main, .group = setting_groups::ClaimFiles, .name = "ResponseFileExtension",
     .type = SettingType::Text, .fallback = ".rsp",
     .meaning = "The extension of response files; a stored empty text means none."},
    {.section = SettingsSection::Main, .group = setting_groups::ClaimFiles, .name = "ResponseFileFolder",
     .type = SettingType::Text, .fallback = "",
     .meaning = "The folder response files are written to; empty writes them beside the claim file."},
    {.section = SettingsSection::Main, .group = setting_groups::ClaimFiles, .name = "ClaimFileArchiveFolder",
     .type = SettingType::Text, .fallback = "",
     .meaning = "The folder answered claim files are moved to; empty deletes them."},
    {.section = SettingsSection::Main, .group = setting_groups::ClaimFiles, .name = "ClaimFileArchiveTimestamp",
     .type = SettingType::Flag, .fallback = "0",
     .meaning = "An archived claim whose name is taken gets a time stamp appended; otherwise it replaces "
                "the older file."},
    {.section = SettingsSection::Main, .group = setting_groups::ClaimFiles, .name = "ClaimFileRetries",
     .type = SettingType::Number, .fallback = "3",
     .meaning = "Failed passes over the claim folder before each waiting claim is answered with the "
                "host-unavailable reject."},
    {.section = SettingsSection::Main, .group = setting_groups::ClaimFiles, .name = "ClaimFileRetryDelay",
     .type = SettingType::Number, .fallback = "5", .meaning = "Seconds between failed passes."},
    {.section = SettingsSection::Main, .group = setting_groups::ClaimFiles, .name = "ClaimFileTrimAtNewline",
     .type = SettingType::Flag, .fallback = "0", .meaning = "Send only the first line of each claim file."},

    // Logs, identity, pharmacy system and window
    {.section = SettingsSection::Main, .group = setting_groups::Logging, .name = "EnableDebugMessages",
     .type = SettingType::Flag, .fallback = "0", .meaning = "Write the general log."},
    {.section = SettingsSection::Main, .group = setting_groups::Logging, .name = "DebugFileName",
     .type = SettingType::Text, .deriveFallback = DefaultDebugFileName, .fallbackNote = "`$HOME/TuqData/TuqLog.txt`",
     .meaning = "The general log file."},
    {.section = SettingsSection::Main, .group = setting_groups::Logging, .name = "EnableSerialPortMessages",
     .type = SettingType::Flag, .fallback = "0",
     .meaning = "Log every byte received on the serial data source (in the general log)."},
    {.section = SettingsSection::Main, .group = setting_groups::Logging, .name = "EnableNetworkDebugMessages",
     .type = SettingType::Flag, .fallback = "0", .meaning = "Write the network log."},
    {.section = SettingsSection::Main, .group = setting_groups::Logging, .name = "NetworkDebugFileName",
     .type = SettingType::Text, .deriveFallback = DefaultNetworkDebugFileName,
     .fallbackNote = "`$HOME/TuqData/TuqNetLog.txt`", .meaning = "The network log file."},
    {.section = SettingsSection::Main, .group = setting_groups::Logging, .name = "SystemID",
     .type = SettingType::Text, .deriveFallback = SystemIDDefault,
     .fallbackNote = "the first 8 characters of the host name, in upper case",
     .meaning = "A short name of this computer, put at the end of the rejects Corvane makes itself."},
    {.section = SettingsSection::Main, .group = setting_groups::Logging, .name = "PharmacyConfig",
     .type = SettingType::Number, .deriveFallback = LegacyPharmacyConfig,
     .fallbackNote = "1 when `Is3PMXenixSystem` (key `InputSerialPort`) is on, else 0",
     .meaning = "The pharmacy system on the serial line; each profile adapts the modem dialogue to it.",
     .values = "0 Unspecified, 1 3PM Xenix Multi-Tech, 2 HCC Synercom US Robotics Sportster V.92, 3 WinTapi "
               "US Robotics Courier V.Everything, 4 McKesson Pharmaserve For Windows 09/2004, 5 McKesson "
               "Pharmaserve For Windows 33.6 (10/2004), 6 Zadall, 7 HCC Synercom US Robotics Sportster V.92 "
               "DTR2CD; others read as 0"},
    {.section = SettingsSection::Main, .group = setting_groups::Logging, .name = "MainFormCaption",
     .type = SettingType::Text, .fallbackNote = "the title is composed of the program's name and the configuration",
     .noFallback = true, .meaning = "Replaces the window title; never written by Corvane."},
    {.section = SettingsSection::Main, .group = setting_groups::Logging, .name = "Left",
     .type = SettingType::Number, .fallback = "0", .meaning = "The window's left edge at the last exit."},
    {.section = SettingsSection::Main, .group = setting_groups::Logging, .name = "Top",
     .type = SettingType::Number, .fallback = "0", .meaning = "The window's top edge at the last exit."},
    {.section = SettingsSection::Main, .group = setting_groups::Logging, .name = "Width",
     .type = SettingType::Number, .fallbackNote = "the window's designed width", .noFallback = true,
     .meaning = "The window's width at the last exit."},
    {.section = SettingsSection::Main, .group = setting_groups::Logging, .name = "Height",
     .type = SettingType::Number, .fallbackNote = "the window's designed height", .noFallback = true,
     .meaning = "The window's height at the last exit."},
    {.section = SettingsSection::Main, .group = setting_groups::Logging, .name = "Visible",
     .type = SettingType::Flag, .fallback = "0",
     .meaning = "The window was open at the last exit (it opens again at the next start)."},

    // Inbound socket and relay
    {.section = SettingsSection::Main, .group = setting_groups::Inbound, .name = "InboundHostName",
     .type = SettingType::Text, .deriveFallback = InboundHostNameDefault,
     .fallbackNote = "this computer's host name (its first address when the name is all digits), else "
                     "`localhost`",
     .meaning = "The address the relay listens on; every data source reaches the switch through it."},
    {.section = SettingsSection::Main, .group = setting_groups::Inbound, .name = "InboundPort",
     .type = SettingType::Number, .fallback = "0", .meaning = "The port the relay listens on; 0 is none.",
     .values = "0 to 65535; others read as 0"},
    {.section = SettingsSection::Main, .group = setting_groups::Inbound, .name = "InboundSocketFormat",
     .type = SettingType::Number, .fallback = "2", .meaning = "How claims are framed on inbound connections.",
     .values = "0 MxSock, 1 MxSock with Twofish, 2 Tuq Header, 3 Tuq Header with Twofish; others read as 2"},
    {.section = SettingsSection::Main, .group = setting_groups::Inbound, .name = "InboundIdleTimeout",
     .type = SettingType::Number, .fallback = "15",
     .meaning = "Seconds without traffic after which an inbound connection is closed.",
     .values = "0 or more; a negative number reads as 15"},

    // Switch hosts
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "EnableNetwork1",
     .type = SettingType::Flag, .fallback = "0", .meaning = "Use switch host 1."},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "EnableNetwork2",
     .type = SettingType::Flag, .fallback = "0", .meaning = "Use switch host 2."},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "EnableNetwork3",
     .type = SettingType::Flag, .fallback = "0", .meaning = "Use switch host 3."},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "OutboundHostName1",
     .type = SettingType::Text, .fallback = "claims.tuqnetwork.example", .meaning = "The name or address of host 1."},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "OutboundHostName2",
     .type = SettingType::Text, .fallback = "192.0.2.10", .meaning = "The name or address of host 2."},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "OutboundHostName3",
     .type = SettingType::Text, .fallback = "198.51.100.10", .meaning = "The name or address of host 3."},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "OutboundPort1A",
     .type = SettingType::Number, .fallback = "6101", .meaning = "The first port tried on host 1.",
     .values = "0 to 65535 (0 skips it); others read as 0"},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "OutboundPort1B",
     .type = SettingType::Number, .fallback = "6102", .meaning = "The second port tried on host 1.",
     .values = "0 to 65535 (0 skips it); others read as 0"},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "OutboundPort2A",
     .type = SettingType::Number, .fallback = "6101", .meaning = "The first port tried on host 2.",
     .values = "0 to 65535 (0 skips it); others read as 0"},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "OutboundPort2B",
     .type = SettingType::Number, .fallback = "6102", .meaning = "The second port tried on host 2.",
     .values = "0 to 65535 (0 skips it); others read as 0"},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "OutboundPort3A",
     .type = SettingType::Number, .fallback = "6101", .meaning = "The first port tried on host 3.",
     .values = "0 to 65535 (0 skips it); others read as 0"},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "OutboundPort3B",
     .type = SettingType::Number, .fallback = "6102", .meaning = "The second port tried on host 3.",
     .values = "0 to 65535 (0 skips it); others read as 0"},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "OutboundConnectTimeout",
     .type = SettingType::Number, .fallback = "6",
     .meaning = "Seconds allowed for one connection attempt (also the window's connection to the relay).",
     .values = "0 or more; a negative number reads as 6"},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "OutboundWriteTimeout",
     .type = SettingType::Number, .fallback = "3", .meaning = "Seconds allowed to write a claim to the switch.",
     .values = "0 or more; a negative number reads as 3"},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "OutboundOverallTimeout",
     .type = SettingType::Number, .fallback = "60", .meaning = "Seconds allowed for a whole claim exchange.",
     .values = "0 or more; a negative number reads as 60"},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "PersistentOutboundConnection",
     .type = SettingType::Flag, .fallback = "0",
     .meaning = "Keep the connection to the switch open between claims."},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "EnableOutboundSSLCommunications",
     .type = SettingType::Flag, .fallback = "0",
     .meaning = "Reach the switch over TLS with a client certificate (needs the three values below)."},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "SSLCertificateFileName",
     .type = SettingType::Text, .fallback = "",
     .meaning = "The PEM file with the client certificate and its encrypted private key."},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "SSLCAFileName",
     .type = SettingType::Text, .fallback = "", .meaning = "The PEM file of the authority that signed the switch's certificate."},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "SSLClientPassword",
     .type = SettingType::Text, .fallback = "",
     .meaning = "The password of the client key (stored in plain text; keep the file private).", .secret = true},
    {.section = SettingsSection::Main, .group = setting_groups::Outbound, .name = "EnableOutboundTwofishSecurity",
     .type = SettingType::Flag, .fallback = "0",
     .meaning = "Encrypt claims to the switch with Twofish; without TLS a host is usable only with it."},

    // Claims by modem
    {.section = SettingsSection::Main, .group = setting_groups::Modem, .name = "ConnectViaTapi",
     .type = SettingType::Flag, .fallback = "0",
     .meaning = "Dial the switch's modem pool when no host is enabled or the network connection fails."},
    {.section = SettingsSection::Main, .group = setting_groups::Modem, .name = "TapiDeviceName",
     .type = SettingType::Text, .fallback = "", .meaning = "The modem.",
     .values = "an entry of `/dev/serial/by-id/`, a `COM<n>` of the `Ports` key, or a `/dev/ttyS`, `ttyUSB` or "
               "`ttyACM` device"},
    {.section = SettingsSection::Main, .group = setting_groups::Modem, .name = "TapiConfig",
     .type = SettingType::Block, .fallbackNote = "the modem defaults (see the README)", .noFallback = true,
     .meaning = "The modem's settings as `Name=Value` text lines: `InitString`, `Speed`, `FlowControl`, "
                "`DialPrefix`, `WaitForDialTone`.",
     .values = "at most 1024 bytes"},
    {.section = SettingsSection::Main, .group = setting_groups::Modem, .name = "PhoneNumber",
     .type = SettingType::Text, .fallback = "555-0100", .meaning = "The switch's dial-in number."},
    {.section = SettingsSection::Main, .group = setting_groups::Modem, .name = "ShowTapiStatusPanel",
     .type = SettingType::Flag, .fallback = "0", .meaning = "Show the call's progress while dialling."},
    {.section = SettingsSection::Main, .group = setting_groups::Modem, .name = "TapiRetries",
     .type = SettingType::Number, .fallback = "3", .meaning = "Dial attempts per call."},
    {.section = SettingsSection::Main, .group = setting_groups::Modem, .name = "TapiRetryDelay",
     .type = SettingType::Number, .fallback = "1", .meaning = "Seconds between dial attempts."},
    {.section = SettingsSection::Main, .group = setting_groups::Modem, .name = "TapiReplyTimeout",
     .type = SettingType::Number, .fallback = "30", .meaning = "Seconds to wait for the response to a claim."},

    // Serial data source
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "ComNumber",
     .type = SettingType::Number, .fallback = "0",
     .meaning = "The serial line of the pharmacy system: `COM<n>` of the `Ports` key, else `/dev/ttyS<n-1>`; "
                "0 is none."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "Baud",
     .type = SettingType::Number, .fallback = "19200", .meaning = "Bits per second."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "DataBits",
     .type = SettingType::Number, .fallback = "8", .meaning = "Data bits."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "StopBits",
     .type = SettingType::Number, .fallback = "1", .meaning = "Stop bits."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "Parity",
     .type = SettingType::Number, .fallback = "0", .meaning = "Parity.",
     .values = "0 none, 1 odd, 2 even, 3 mark, 4 space"},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "DtrDsr",
     .type = SettingType::Flag, .fallback = "0", .meaning = "DTR/DSR hardware flow control."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "RtsCts",
     .type = SettingType::Flag, .fallback = "0", .meaning = "RTS/CTS hardware flow control."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "SoftwareTransmit",
     .type = SettingType::Flag, .fallback = "0", .meaning = "XON/XOFF flow control on what Corvane sends."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "SoftwareReceive",
     .type = SettingType::Flag, .fallback = "0", .meaning = "XON/XOFF flow control on what Corvane receives."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "XOnChar",
     .type = SettingType::Number, .fallback = "17", .meaning = "The XON character code."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "XOffChar",
     .type = SettingType::Number, .fallback = "19", .meaning = "The XOFF character code."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "Visa2",
     .type = SettingType::Flag, .fallback = "0",
     .meaning = "The pharmacy system speaks VISA II (several claims per call); otherwise VISA I."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "Lrc",
     .type = SettingType::Flag, .fallback = "0", .meaning = "An LRC byte follows the ETX of each message."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "EnqHalfSecDelay",
     .type = SettingType::Flag, .fallback = "1", .meaning = "Pause before the ENQ that invites a claim."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "SPEnqPause",
     .type = SettingType::Real, .fallback = "0.5", .meaning = "The length of that pause in seconds."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "SPClientRetries",
     .type = SettingType::Number, .fallback = "3",
     .meaning = "Sends of a response to the pharmacy system before Corvane gives up."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "ClosePortOnHangup",
     .type = SettingType::Flag, .fallback = "0",
     .meaning = "Close the serial line for a second after a VISA I call ends."},
    {.section = SettingsSection::InputSerialPort, .group = setting_groups::Serial, .name = "Is3PMXenixSystem",
     .type = SettingType::Flag, .fallback = "0",
     .meaning = "The pharmacy system flag of older versions; read only while `PharmacyConfig` is missing, "
                "never written."},

    // Dial-up networking
    {.section = SettingsSection::Network, .group = setting_groups::DialUp, .name = "NetConnectType",
     .type = SettingType::Number, .fallback = "1", .meaning = "How the switch hosts are reached.",
     .values = "1 a permanent network, 2 dial-up networking through pppd; others read as 0 (neither)"},
    {.section = SettingsSection::Network, .group = setting_groups::DialUp, .name = "DialUpConnection",
     .type = SettingType::Text, .fallback = "", .meaning = "The pppd peer to call: a file name in `/etc/ppp/peers`."},
    {.section = SettingsSection::Network, .group = setting_groups::DialUp, .name = "ConnectOnStartup",
     .type = SettingType::Flag, .fallback = "0", .meaning = "Dial as soon as the data source opens."},
    {.section = SettingsSection::Network, .group = setting_groups::DialUp, .name = "DialUpUser",
     .type = SettingType::Text, .fallback = "",
     .meaning = "The user name for the provider; empty keeps the peer's `user`."},
    {.section = SettingsSection::Network, .group = setting_groups::DialUp, .name = "DialUpPwd",
     .type = SettingType::Text, .fallback = "",
     .meaning = "The password for the provider (stored in plain text; keep the file private).", .secret = true},
    {.section = SettingsSection::Network, .group = setting_groups::DialUp, .name = "DialUpDomain",
     .type = SettingType::Text, .fallback = "", .meaning = "Sent in front of the user name as `DOMAIN\\user`."},
    {.section = SettingsSection::Network, .group = setting_groups::DialUp, .name = "DialUpPhone",
     .type = SettingType::Text, .fallback = "",
     .meaning = "Replaces the number in the peer's `connect` line; empty keeps it."},
};

// The definition of the setting of that name; a name not in the table does
// not compile.
consteval const SettingDefinition& Setting(std::string_view name)
{
    for (const SettingDefinition& definition : kSettingsTable)
        if (definition.name == name)
            return definition;
    throw "no setting of that name";
}

// The default as it would be stored (derived where it depends on this
// computer); empty for a setting without one.
std::string FallbackText(const SettingDefinition& setting);
// The same read as a number; 0 for none.
int FallbackNumber(const SettingDefinition& setting);
double FallbackReal(const SettingDefinition& setting);
