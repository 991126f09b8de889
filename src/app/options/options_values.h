#pragma once
#include "config/settings.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

// What the Options dialog's controls hold, without the widgets: edits keep
// their text as typed, lists their selection. Loading applies the dialog's
// conversions from the stored settings; saving writes every value back in
// the dialog's order with its save rules.

enum class DataSourceChoice { None, ClaimFiles, SerialPort, SocketPort };

struct OptionsValues {
    // Tuq Connection
    std::array<bool, 3> hostEnabled{};
    std::array<std::string, 3> hostName;
    std::array<std::string, 3> portA;
    std::array<std::string, 3> portB;
    bool connectViaTapi = false;
    std::string modemName;
    TapiConfigBlock tapiConfig;
    std::string phoneNumber;
    bool showTapiStatusPanel = false;
    std::string tapiReplyTimeout;
    std::string tapiRetries;
    std::string tapiRetryDelay;

    // Network
    bool lanSelected = true;
    bool dialUpSelected = false;
    // The phone book could be read; without it dial-up cannot be chosen.
    bool dialUpAvailable = true;
    std::vector<std::string> dialUpEntries;
    std::string dialUpConnection;
    bool connectOnStartup = false;
    std::string dialUpUser;
    std::string dialUpPassword;
    std::string dialUpPhone;
    std::string dialUpDomain;
    bool persistentConnection = false;
    std::string connectTimeout;
    std::string writeTimeout;
    std::string overallTimeout;

    // Security
    bool twofish = false;
    bool ssl = false;
    std::string certificateFile;
    std::string caFile;
    std::string clientPassword;

    // Data Source
    DataSourceChoice dataSource = DataSourceChoice::None;
    std::string claimFileMask;
    std::string claimFileRetries;
    std::string claimFileRetryDelay;
    bool trimAtNewline = false;
    std::string responseFileExtension;
    std::string responseFileFolder;
    std::string archiveFolder;
    bool archiveTimestamp = false;
    std::vector<int> comPorts;  // the port list: numbers 1..50 present
    int comNumber = 0;          // the selected port, 0 when none is
    int baud = 19200;           // one of kBaudRates
    int parity = 0;             // list position: None, Odd, Even, Mark, Space
    int dataBits = 8;           // 8, 7, 6 or 5
    int stopBits = 1;           // 1 or 2
    bool dtrDsr = false;
    bool rtsCts = false;
    bool softwareTransmit = false;
    bool softwareReceive = false;
    std::string xonChar;
    std::string xoffChar;
    bool visa2 = false;
    bool lrc = false;
    bool enqPauseEnabled = true;
    std::string enqPause;
    bool closePortOnHangup = false;
    std::string spClientRetries;
    std::string inboundHost;
    std::string inboundPort;
    std::string idleTimeout;
    int inboundFormatIndex = 0;  // list position, see InboundFormatNames

    // Log / Misc
    std::string debugFileName;
    bool debugMessages = false;
    bool serialPortMessages = false;
    std::string netDebugFileName;
    bool netDebugMessages = false;
    std::string systemId;
    int pharmacyConfig = 0;  // list position = profile
};

constexpr std::array<int, 10> kBaudRates{300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr int kHighestListedComPort = 50;
constexpr int kListenPortSeed = 5101;

// Entries of the inbound format list, in list order.
const std::vector<std::string>& InboundFormatNames();
// Stored 0, 1, 3 are the 2nd, 3rd and 4th entry; anything else the 1st.
int InboundFormatIndexOf(int stored);
// The 2nd, 3rd and 4th entry store 0, 1, 3; the 1st (or none) stores 2.
int InboundFormatOf(int index);
// The MxSock format with Twofish: the main window's own link to the relay.
constexpr int kMxSockTwofishIndex = 2;

const std::vector<std::string>& PharmacyConfigNames();

// The dialog shows a loaded dialog to a user, who sees and confirms what
// is substituted. The check command reads the settings as they are: it
// writes nothing and substitutes nothing, so a missing modem, port or
// inbound port is reported instead of quietly replaced.
enum class LoadPurpose { Dialog, Check };

OptionsValues LoadOptionsValues(LoadPurpose purpose);
// Every value in the dialog's order; the data source type is cleared first
// and set by the selected source.
void SaveOptionsValues(OptionsValues values);

// Texts of the edits.
std::string TrimBlanks(const std::string& text);
// A decimal integer with an optional sign, nothing else.
std::optional<int> ParseDecimal(const std::string& text);
// Text that does not parse counts as 0.
int DecimalOrZero(const std::string& text);
// One decimal, halves away from zero: 0.25 shows as 0.3.
std::string FormatEnqPause(double seconds);
// A real, 0.5 when the text is not one.
double ParseEnqPause(const std::string& text);
bool AnyHostEnabled(const OptionsValues& values);
// The dial parameters of the selected entry: the stored ones for the stored
// entry, else the entry's own from the phone book.
void FillDialParameters(OptionsValues& values);
