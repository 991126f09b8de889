#include "app/options/options_checks.h"

#include "base/general_log.h"
#include "base/system_path.h"
#include "relay/socket_util.h"
#include "sources/path_ops.h"

#include <QString>
#include <filesystem>

namespace {

bool SameText(const std::string& a, const std::string& b)
{
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

// A folder as the file system finds it: the current folder for an empty
// one, links resolved, no trailing delimiter.
std::string FullFolder(const std::string& folder)
{
    std::string path = folder.empty() ? "." : ToSystemPath(StripTrailingDelimiters(folder));
    std::error_code error;
    std::filesystem::path full = std::filesystem::weakly_canonical(std::filesystem::absolute(path), error);
    return error ? path : full.string();
}

bool SameFolder(const std::string& a, const std::string& b)
{
    return SameText(FullFolder(a), FullFolder(b));
}

// A mask whose name ends in "*" (or "*.*") takes files of any extension,
// the responses written beside the claims among them.
bool MaskTakesAnyExtension(const std::string& mask)
{
    std::string name = ExtractFileName(mask);
    return !name.empty() && (name.back() == '*' || name.ends_with("*.*"));
}

bool CanListenOn(const std::string& host, int port)
{
    int sock = -1;
    if (mxOpenListenSock(host.c_str(), port, nullptr, &sock, LogMsg) != 0)
        return false;
    mxCloseSocket(sock, LogMsg);
    return true;
}

struct FolderPrompt {
    const char* title;
    const char* start;   // before the folder
    const char* middle;  // after it, up to "does not exist."
    const char* failure; // when it cannot be created
};

const FolderPrompt kClaimFolder{"Claim File Folder", "Claim file folder '", "' does not exist.",
                                "Failed to create the claim file folder."};
const FolderPrompt kResponseFolder{"Response File Folder", "Response file folder '", "' does not exist.",
                                   "Failed to create the response file folder."};
const FolderPrompt kArchiveFolder{"Claim File Archive Folder", "Claim file archive folder '", "' does not exist.",
                                  "Failed to create the claim file archive folder."};
const FolderPrompt kLogFolder{"Log File Folder", "Folder '", "' associated with the Log File does not exist.",
                              "Failed to create the folder associated with the Log File."};
const FolderPrompt kNetLogFolder{"Net Log File Folder", "Folder '",
                                 "' associated with the Network Communications Log File does not exist.",
                                 "Failed to create the folder associated with the Network Communications Log File."};

// Where a failure sends the user.
struct Place {
    OptionsPage page;
    const char* control;
    std::string setting;
};

class Checker {
public:
    Checker(OptionsValues& values, FolderQuestion& question, CheckScope scope, ListenTest listenTest)
        : v_(values), question_(question), scope_(scope), listenTest_(listenTest)
    {
    }

    std::vector<OptionsFailure> Run()
    {
        // Each step returns true when the checks stop there.
        (void)(Hosts() || ConnectionType() || Modem() || Timeouts() || DataSource() || InboundSocket() ||
               Security() || Logs() || SystemId());
        return failures_;
    }

private:
    bool Fail(int check, const std::string& message, const Place& place)
    {
        failures_.push_back({check, message, place.page, place.control, place.setting});
        return scope_ == CheckScope::FirstFailure;
    }

    // A folder that is given but missing: created on Yes; No goes on.
    bool MissingFolder(int check, const std::string& folder, const FolderPrompt& prompt, const Place& place)
    {
        if (folder.empty() || FolderExists(folder))
            return false;
        std::string missing = prompt.start + folder + prompt.middle;
        switch (question_.Ask(prompt.title, missing + "  Create the folder?")) {
        case FolderQuestion::Answer::Yes:
            return !ForceFolders(folder) && Fail(check, prompt.failure, place);
        case FolderQuestion::Answer::Cancel:
            return Fail(check, "", place);
        case FolderQuestion::Answer::No:
            return scope_ == CheckScope::AllFailures && Fail(check, missing, place);
        }
        return false;
    }

    bool Hosts()
    {
        for (int i = 0; i < 3; ++i) {
            if (!v_.hostEnabled[i])
                continue;
            std::string n = std::to_string(i + 1);
            std::string hostEdit = "OutHost" + n + "Edit";
            std::string portAEdit = "OutPort" + n + "AEdit";
            std::string portBEdit = "OutPort" + n + "BEdit";
            Place host{OptionsPage::TuqConnection, hostEdit.c_str(), "OutboundHostName" + n};
            Place portA{OptionsPage::TuqConnection, portAEdit.c_str(), "OutboundPort" + n + "A"};
            Place portB{OptionsPage::TuqConnection, portBEdit.c_str(), "OutboundPort" + n + "B"};
            int a = DecimalOrZero(v_.portA[i]);
            int b = DecimalOrZero(v_.portB[i]);
            if (TrimBlanks(v_.hostName[i]).empty() &&
                Fail(1, "Host " + n + " is selected but host name/IP address is not specified.", host))
                return true;
            if ((a < 0 || a > 65535) &&
                Fail(2, "Port 1 on Host " + n + " is invalid.  Enter a value from 0 (unassigned) to 65535.", portA))
                return true;
            if ((b < 0 || b > 65535) &&
                Fail(3, "Port 2 on Host " + n + " is invalid.  Enter a value from 0 (unassigned) to 65535.", portB))
                return true;
            if (a < 1 && b < 1 &&
                Fail(4, "Host " + n + " is enabled, but it does not have a valid port number assigned to it.  "
                                     "Enter a value from 1 to 65535.",
                     portA))
                return true;
        }
        return false;
    }

    bool ConnectionType()
    {
        return AnyHostEnabled(v_) && !v_.lanSelected && !v_.dialUpSelected &&
               Fail(5, "Please specify the network connection type.",
                    {OptionsPage::Network, "DNLanRadioButton", "Network\\NetConnectType"});
    }

    bool Modem()
    {
        if (v_.connectViaTapi && TrimBlanks(v_.modemName).empty() &&
            Fail(6, "Modem is selected but modem name is not specified.",
                 {OptionsPage::TuqConnection, "ModemSelectButton", "TapiDeviceName"}))
            return true;
        if (v_.connectViaTapi && TrimBlanks(v_.phoneNumber).empty() &&
            Fail(7, "Modem is selected but telephone number is not specified.",
                 {OptionsPage::TuqConnection, "PhoneNumberEdit", "PhoneNumber"}))
            return true;
        return !AnyHostEnabled(v_) && !v_.connectViaTapi &&
               Fail(8, "Please enable and/or specify the desired host or modem connection.",
                    {OptionsPage::TuqConnection, "Network1CheckBox", "EnableNetwork1"});
    }

    bool Timeouts()
    {
        if (DecimalOrZero(v_.connectTimeout) <= 0 &&
            Fail(9, "Enter a valid Host Port Connect Timeout greater than 0.",
                 {OptionsPage::Network, "NetConnectTimeoutEdit", "OutboundConnectTimeout"}))
            return true;
        if (DecimalOrZero(v_.writeTimeout) <= 0 &&
            Fail(10, "Enter a valid Host Port Write Timeout greater than 0.",
                 {OptionsPage::Network, "NetWriteTimeoutEdit", "OutboundWriteTimeout"}))
            return true;
        return DecimalOrZero(v_.overallTimeout) <= 0 &&
               Fail(11, "Enter a valid Network Overall Timeout greater than 0.",
                    {OptionsPage::Network, "NetOverallTimeoutEdit", "OutboundOverallTimeout"});
    }

    bool DataSource()
    {
        switch (v_.dataSource) {
        case DataSourceChoice::None:
            return Fail(12, "Select either Claim File Mask, Serial Port, or Socket Port for the data source.",
                        {OptionsPage::DataSource, "ClaimDirectoryRadioButton", "DataSourceType"});
        case DataSourceChoice::ClaimFiles:
            return ClaimFiles();
        case DataSourceChoice::SerialPort:
            return v_.comNumber == 0 &&
                   Fail(19, "The Serial Port data source is selected but a port has not been selected.",
                        {OptionsPage::DataSource, "ComPortComboBox", "InputSerialPort\\ComNumber"});
        case DataSourceChoice::SocketPort:
            return false;
        }
        return false;
    }

    bool ClaimFiles()
    {
        v_.claimFileMask = TrimBlanks(v_.claimFileMask);
        Place mask{OptionsPage::DataSource, "ClaimFileMaskEdit", "ClaimFileMask"};
        if (v_.claimFileMask.empty())
            return Fail(13, "The Claim File Mask data source is selected but a file mask has not been specified.",
                        mask);
        std::string maskFolder = ExtractFolder(v_.claimFileMask);
        if (MissingFolder(14, maskFolder, kClaimFolder, mask))
            return true;

        v_.responseFileFolder = TrimBlanks(v_.responseFileFolder);
        v_.responseFileExtension = TrimBlanks(v_.responseFileExtension);
        if (MissingFolder(15, v_.responseFileFolder, kResponseFolder,
                          {OptionsPage::DataSource, "ResponseFileFolderEdit", "ResponseFileFolder"}))
            return true;
        Place extension{OptionsPage::DataSource, "ResponseFileExtEdit", "ResponseFileExtension"};
        bool besideClaims = v_.responseFileFolder.empty() || SameFolder(v_.responseFileFolder, maskFolder);
        if (besideClaims && SameText(ExtractExtension(v_.claimFileMask), v_.responseFileExtension) &&
            Fail(16, "The Response File Extension cannot equal the Claim File Mask extension when writing "
                     "responses to the claim file folder.",
                 extension))
            return true;
        if (besideClaims && MaskTakesAnyExtension(v_.claimFileMask) &&
            Fail(16, "The Claim File Mask takes files of any extension, so responses written to the claim file "
                     "folder would be sent as claims.  Specify a Response File Folder.",
                 extension))
            return true;

        v_.archiveFolder = TrimBlanks(v_.archiveFolder);
        Place archive{OptionsPage::DataSource, "ClaimFileArchiveFolderEdit", "ClaimFileArchiveFolder"};
        if (!v_.archiveFolder.empty() && SameFolder(v_.archiveFolder, maskFolder))
            return Fail(17, "The claim file folder cannot equal the claim file archive folder.", archive);
        return MissingFolder(18, v_.archiveFolder, kArchiveFolder, archive);
    }

    // The relay listens there even for claim files and the serial port:
    // the main window reaches the switch through it.
    bool InboundSocket()
    {
        if (!AnyHostEnabled(v_) && v_.dataSource != DataSourceChoice::SocketPort)
            return false;
        std::string host = TrimBlanks(v_.inboundHost);
        int port = DecimalOrZero(v_.inboundPort);
        Place hostEdit{OptionsPage::DataSource, "DSInHostEdit", "InboundHostName"};
        Place portEdit{OptionsPage::DataSource, "DSInPortEdit", "InboundPort"};
        if (host.empty())
            return Fail(20, "Please enter the host name/IP address for the inbound socket port.", hostEdit);
        if (ParseDecimal(host))
            return Fail(21, "Please enter a non-numeric host name/IP address for the inbound socket port.", hostEdit);
        if (port < 1 || port > 65535)
            return Fail(22, "Please enter a valid port number (1 to 65535) for the inbound socket port.", portEdit);
        if (listenTest_ == ListenTest::Open && !CanListenOn(host, port))
            return Fail(23,
                        "Failure opening Data Source Socket Port " + std::to_string(port) + ", Host '" + host +
                            "'.  Please specify a different host and/or port number (1 to 65535).\n\nNote that "
                            "this information is required even when the data source is Claim File Mask or "
                            "Serial Port.\n\n",
                        portEdit);
        return false;
    }

    bool Security()
    {
        if (AnyHostEnabled(v_) && !v_.ssl && !v_.twofish &&
            Fail(24, "Please specify the security type for network communications.",
                 {OptionsPage::Security, "NetEnableSSLCheckBox", "EnableOutboundSSLCommunications"}))
            return true;
        if (!v_.ssl)
            return false;
        if (TrimBlanks(v_.certificateFile).empty() &&
            Fail(25, "SSL security has been checked, but the SSL Client Certificate File has not been specified.",
                 {OptionsPage::Security, "SSLCertificateEdit", "SSLCertificateFileName"}))
            return true;
        if (TrimBlanks(v_.caFile).empty() &&
            Fail(26, "SSL security has been checked, but the SSL Certificate Authority File has not been specified.",
                 {OptionsPage::Security, "SSLCAFileEdit", "SSLCAFileName"}))
            return true;
        // A password is taken as it is: blanks may be part of it.
        return v_.clientPassword.empty() &&
               Fail(27, "SSL security has been checked, but the SSL Client Private Key Password has not been "
                        "specified.",
                    {OptionsPage::Security, "SSLClientPasswordEdit", "SSLClientPassword"});
    }

    bool Logs()
    {
        std::string log = TrimBlanks(v_.debugFileName);
        std::string netLog = TrimBlanks(v_.netDebugFileName);
        Place logEdit{OptionsPage::LogMisc, "DebugFileEdit", "DebugFileName"};
        Place netLogEdit{OptionsPage::LogMisc, "NetDebugFileEdit", "NetworkDebugFileName"};
        if (v_.debugMessages && v_.netDebugMessages && !log.empty() && SameText(log, netLog) &&
            Fail(28, "Please specify different files for the two sets of log messages.", logEdit))
            return true;
        if (v_.debugMessages && MissingFolder(29, ExtractFolder(log), kLogFolder, logEdit))
            return true;
        return v_.netDebugMessages && MissingFolder(30, ExtractFolder(netLog), kNetLogFolder, netLogEdit);
    }

    bool SystemId()
    {
        return TrimBlanks(v_.systemId).empty() &&
               Fail(31, "Please specify a System ID.  This string will be included at the end of generated error "
                        "responses.",
                    {OptionsPage::LogMisc, "SystemIdEdit", "SystemID"});
    }

    OptionsValues& v_;
    FolderQuestion& question_;
    CheckScope scope_;
    ListenTest listenTest_;
    std::vector<OptionsFailure> failures_;
};

}  // namespace

std::vector<OptionsFailure> RunOptionsChecks(OptionsValues& values, FolderQuestion& question, CheckScope scope,
                                             ListenTest listenTest)
{
    return Checker(values, question, scope, listenTest).Run();
}

std::string FailureLine(const OptionsFailure& failure)
{
    std::string message = failure.message;
    for (char& c : message)
        if (c == '\n')
            c = ' ';
    return failure.setting + ": " + TrimBlanks(message);
}
