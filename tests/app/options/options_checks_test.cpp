#include "app/options/options_checks.h"
#include "options_settings.h"

#include <QDir>
#include <QTcpServer>
#include <functional>
#include <gtest/gtest.h>

namespace {

using Answer = FolderQuestion::Answer;

class RecordingQuestion : public FolderQuestion {
public:
    explicit RecordingQuestion(Answer answer) : answer_(answer) {}
    Answer Ask(const std::string& title, const std::string& question) override
    {
        asked.push_back(title + " | " + question);
        return answer_;
    }
    std::vector<std::string> asked;

private:
    Answer answer_;
};

struct Arrangement {
    std::function<void(OptionsSettings&, const std::string& home)> settings{};
    std::function<void(OptionsValues&)> edit{};  // what the user typed after loading
    Answer answer = Answer::No;
};

// Loads the settings as the dialog does, applies the edit and presses OK;
// inspect looks at the values and the home before the home goes.
std::vector<OptionsFailure> PressOk(const Arrangement& setup, std::vector<std::string>* asked = nullptr,
                                    const std::function<void(const OptionsValues&)>& inspect = {})
{
    TestHome home;
    OptionsSettings settings(home);
    if (setup.settings)
        setup.settings(settings, home.path());
    settings.Write(home);
    OptionsValues values = LoadOptionsValues(LoadPurpose::Dialog);
    if (setup.edit)
        setup.edit(values);
    RecordingQuestion question(setup.answer);
    std::vector<OptionsFailure> failures = RunOptionsChecks(values, question, CheckScope::FirstFailure);
    if (asked)
        *asked = question.asked;
    if (inspect)
        inspect(values);
    return failures;
}

struct CheckCase {
    const char* name;
    Arrangement setup;
    int check;
    std::string message;
    OptionsPage page;
    std::string control;
};

const std::string kInUseEnd =
    "'.  Please specify a different host and/or port number (1 to 65535).\n\nNote that this information is "
    "required even when the data source is Claim File Mask or Serial Port.\n\n";

}  // namespace

TEST(OptionsChecksTest, EachCheckWithItsMessagePageAndControl)
{
    QTcpServer busy;
    ASSERT_TRUE(busy.listen(QHostAddress::LocalHost));
    const int busyPort = busy.serverPort();
    auto set = [](const char* name, std::string value) {
        return [=](OptionsSettings& s, const std::string&) { s.main[name] = value; };
    };
    auto sslWith = [](std::string cert, std::string ca, std::string password) {
        return [=](OptionsSettings& s, const std::string&) {
            s.main["EnableOutboundSSLCommunications"] = Text("1");
            s.main["SSLCertificateFileName"] = Text(cert);
            s.main["SSLCAFileName"] = Text(ca);
            s.main["SSLClientPassword"] = Text(password);
        };
    };
    const auto TC = OptionsPage::TuqConnection;
    const auto NW = OptionsPage::Network;
    const auto SE = OptionsPage::Security;
    const auto DS = OptionsPage::DataSource;
    const auto LM = OptionsPage::LogMisc;

    const CheckCase cases[] = {
        {"host 2 without a name",
         {[](OptionsSettings& s, const std::string&) {
              s.main["EnableNetwork2"] = Text("1");
              s.main["OutboundHostName2"] = Text("   ");
          }},
         1, "Host 2 is selected but host name/IP address is not specified.", TC, "OutHost2Edit"},
        {"port A above 65535", {{}, [](OptionsValues& v) { v.portA[0] = "70000"; }},
         2, "Port 1 on Host 1 is invalid.  Enter a value from 0 (unassigned) to 65535.", TC, "OutPort1AEdit"},
        {"port B of host 3 pasted negative",
         {[](OptionsSettings& s, const std::string&) {
              s.main["EnableNetwork3"] = Text("1");
              s.main["OutboundHostName3"] = Text("switch3.example");
          },
          [](OptionsValues& v) { v.portB[2] = "-1"; }},
         3, "Port 2 on Host 3 is invalid.  Enter a value from 0 (unassigned) to 65535.", TC, "OutPort3BEdit"},
        {"ports 0 and 0",
         {[](OptionsSettings& s, const std::string&) {
              s.main["OutboundPort1A"] = Dword(0);
              s.main["OutboundPort1B"] = Dword(0);
          }},
         4, "Host 1 is enabled, but it does not have a valid port number assigned to it.  Enter a value from 1 to 65535.",
         TC, "OutPort1AEdit"},
        {"neither LAN nor dial-up",
         {[](OptionsSettings& s, const std::string&) { s.network["NetConnectType"] = Dword(0); }},
         5, "Please specify the network connection type.", NW, "DNLanRadioButton"},
        {"modem without a name", {set("ConnectViaTapi", Text("1"))},
         6, "Modem is selected but modem name is not specified.", TC, "ModemSelectButton"},
        {"modem without a number",
         {[](OptionsSettings& s, const std::string&) {
              s.main["ConnectViaTapi"] = Text("1");
              s.main["TapiDeviceName"] = Text("COM3");
              s.ports["COM3"] = Text("/dev/null");
              s.main["PhoneNumber"] = Text("  ");
          }},
         7, "Modem is selected but telephone number is not specified.", TC, "PhoneNumberEdit"},
        {"no host and no modem", {set("EnableNetwork1", Text("0"))},
         8, "Please enable and/or specify the desired host or modem connection.", TC, "Network1CheckBox"},
        {"connect timeout 0", {set("OutboundConnectTimeout", Dword(0))},
         9, "Enter a valid Host Port Connect Timeout greater than 0.", NW, "NetConnectTimeoutEdit"},
        {"write timeout 0", {set("OutboundWriteTimeout", Dword(0))},
         10, "Enter a valid Host Port Write Timeout greater than 0.", NW, "NetWriteTimeoutEdit"},
        {"overall timeout emptied", {{}, [](OptionsValues& v) { v.overallTimeout = ""; }},
         11, "Enter a valid Network Overall Timeout greater than 0.", NW, "NetOverallTimeoutEdit"},
        {"unknown data source", {set("DataSourceType", Text("Tape"))},
         12, "Select either Claim File Mask, Serial Port, or Socket Port for the data source.", DS,
         "ClaimDirectoryRadioButton"},
        {"blank mask", {set("ClaimFileMask", Text("   "))},
         13, "The Claim File Mask data source is selected but a file mask has not been specified.", DS,
         "ClaimFileMaskEdit"},
        {"mask folder missing, Cancel",
         {[](OptionsSettings& s, const std::string& home) { s.main["ClaimFileMask"] = Text(home + "/gone/*.clm"); },
          {}, Answer::Cancel},
         14, "", DS, "ClaimFileMaskEdit"},
        {"mask folder cannot be made",
         {[](OptionsSettings& s, const std::string&) { s.main["ClaimFileMask"] = Text("/dev/null/claims/*.clm"); },
          {}, Answer::Yes},
         14, "Failed to create the claim file folder.", DS, "ClaimFileMaskEdit"},
        {"response folder missing, Cancel",
         {[](OptionsSettings& s, const std::string& home) { s.main["ResponseFileFolder"] = Text(home + "/out"); },
          {}, Answer::Cancel},
         15, "", DS, "ResponseFileFolderEdit"},
        {".RSP against *.rsp beside the claims",
         {[](OptionsSettings& s, const std::string&) {
              s.main["ClaimFileMask"] = Text(s.claimFolder + "/*.rsp");
              s.main["ResponseFileExtension"] = Text(".RSP");
          }},
         16, "The Response File Extension cannot equal the Claim File Mask extension when writing responses to "
             "the claim file folder.",
         DS, "ResponseFileExtEdit"},
        {"*.* takes the responses too",
         {[](OptionsSettings& s, const std::string&) { s.main["ClaimFileMask"] = Text(s.claimFolder + "/*.*"); }},
         16, "The Claim File Mask takes files of any extension, so responses written to the claim file folder "
             "would be sent as claims.  Specify a Response File Folder.",
         DS, "ResponseFileExtEdit"},
        {"clm* takes the responses too",
         {[](OptionsSettings& s, const std::string&) { s.main["ClaimFileMask"] = Text(s.claimFolder + "/clm*"); }},
         16, "The Claim File Mask takes files of any extension, so responses written to the claim file folder "
             "would be sent as claims.  Specify a Response File Folder.",
         DS, "ResponseFileExtEdit"},
        {"response folder is the claim folder",
         {[](OptionsSettings& s, const std::string&) {
              s.main["ClaimFileMask"] = Text(s.claimFolder + "/*.rsp");
              s.main["ResponseFileFolder"] = Text(s.claimFolder + "//");
          }},
         16, "The Response File Extension cannot equal the Claim File Mask extension when writing responses to "
             "the claim file folder.",
         DS, "ResponseFileExtEdit"},
        {"archive is the claim folder",
         {[](OptionsSettings& s, const std::string&) { s.main["ClaimFileArchiveFolder"] = Text(" " + s.claimFolder + "/ "); }},
         17, "The claim file folder cannot equal the claim file archive folder.", DS, "ClaimFileArchiveFolderEdit"},
        {"archive missing, Cancel",
         {[](OptionsSettings& s, const std::string& home) { s.main["ClaimFileArchiveFolder"] = Text(home + "/done"); },
          {}, Answer::Cancel},
         18, "", DS, "ClaimFileArchiveFolderEdit"},
        {"serial without a port",
         {[](OptionsSettings& s, const std::string&) {
              s.main["DataSourceType"] = Text("SerialPort");
              s.serial["ComNumber"] = Dword(2);
          }},
         19, "The Serial Port data source is selected but a port has not been selected.", DS, "ComPortComboBox"},
        {"blank inbound host", {set("InboundHostName", Text("  "))},
         20, "Please enter the host name/IP address for the inbound socket port.", DS, "DSInHostEdit"},
        {"numeric inbound host", {set("InboundHostName", Text("12345"))},
         21, "Please enter a non-numeric host name/IP address for the inbound socket port.", DS, "DSInHostEdit"},
        {"inbound port above 65535", {{}, [](OptionsValues& v) { v.inboundPort = "70000"; }},
         22, "Please enter a valid port number (1 to 65535) for the inbound socket port.", DS, "DSInPortEdit"},
        {"inbound port in use", {set("InboundPort", Dword(busyPort))},
         23, "Failure opening Data Source Socket Port " + std::to_string(busyPort) + ", Host '127.0.0.1" + kInUseEnd,
         DS, "DSInPortEdit"},
        {"no security type", {set("EnableOutboundTwofishSecurity", Text("0"))},
         24, "Please specify the security type for network communications.", SE, "NetEnableSSLCheckBox"},
        {"SSL without certificate", {sslWith(" ", "ca.pem", "pw")},
         25, "SSL security has been checked, but the SSL Client Certificate File has not been specified.", SE,
         "SSLCertificateEdit"},
        {"SSL without CA", {sslWith("client.pem", "", "pw")},
         26, "SSL security has been checked, but the SSL Certificate Authority File has not been specified.", SE,
         "SSLCAFileEdit"},
        {"SSL without password", {sslWith("client.pem", "ca.pem", "")},
         27, "SSL security has been checked, but the SSL Client Private Key Password has not been specified.", SE,
         "SSLClientPasswordEdit"},
        {"one file for both logs",
         {[](OptionsSettings& s, const std::string& home) {
              s.main["EnableDebugMessages"] = Text("1");
              s.main["EnableNetworkDebugMessages"] = Text("1");
              s.main["DebugFileName"] = Text(home + "/Log.txt");
              s.main["NetworkDebugFileName"] = Text(home + "/log.TXT ");
          }},
         28, "Please specify different files for the two sets of log messages.", LM, "DebugFileEdit"},
        {"log folder missing, Cancel",
         {[](OptionsSettings& s, const std::string& home) {
              s.main["EnableDebugMessages"] = Text("1");
              s.main["DebugFileName"] = Text(home + "/logs/TuqLog.txt");
          },
          {}, Answer::Cancel},
         29, "", LM, "DebugFileEdit"},
        {"network log folder cannot be made",
         {[](OptionsSettings& s, const std::string&) {
              s.main["EnableNetworkDebugMessages"] = Text("1");
              s.main["NetworkDebugFileName"] = Text("/dev/null/logs/TuqNetLog.txt");
          },
          {}, Answer::Yes},
         30, "Failed to create the folder associated with the Network Communications Log File.", LM,
         "NetDebugFileEdit"},
        {"blank System ID", {set("SystemID", Text(" "))},
         31, "Please specify a System ID.  This string will be included at the end of generated error responses.",
         LM, "SystemIdEdit"},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<OptionsFailure> failures = PressOk(c.setup);
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].check, c.check);
        EXPECT_EQ(failures[0].message, c.message);
        EXPECT_EQ(failures[0].page, c.page);
        EXPECT_EQ(failures[0].control, c.control);
    }
}

TEST(OptionsChecksTest, AcceptedSettings)
{
    const std::pair<const char*, Arrangement> cases[] = {
        {"the complete configuration", {}},
        {"ports 0 and 6102",
         {[](OptionsSettings& s, const std::string&) { s.main["OutboundPort1A"] = Dword(0); }}},
        {".RSP against *.rsp with responses elsewhere",
         {[](OptionsSettings& s, const std::string& home) {
              s.main["ClaimFileMask"] = Text(s.claimFolder + "/*.rsp");
              s.main["ResponseFileExtension"] = Text(".RSP");
              s.main["ResponseFileFolder"] = Text(home);
          }}},
        // The inbound socket is not the modem's business.
        {"modem only, no inbound host",
         {[](OptionsSettings& s, const std::string&) {
              s.main["EnableNetwork1"] = Text("0");
              s.main["ConnectViaTapi"] = Text("1");
              s.main["TapiDeviceName"] = Text("COM3");
              s.ports["COM3"] = Text("/dev/null");
              s.main["PhoneNumber"] = Text("555-0100");
              s.main["InboundHostName"] = Text(" ");
          }}},
        {"serial port present",
         {[](OptionsSettings& s, const std::string&) {
              s.main["DataSourceType"] = Text("SerialPort");
              s.serial["ComNumber"] = Dword(4);
              s.ports["COM4"] = Text("/dev/null");
          }}},
        {"missing folders declined",
         {[](OptionsSettings& s, const std::string& home) {
              s.main["ResponseFileFolder"] = Text(home + "/out");
              s.main["ClaimFileArchiveFolder"] = Text(home + "/done");
          },
          {}, Answer::No}},
    };
    for (const auto& [name, setup] : cases) {
        SCOPED_TRACE(name);
        std::vector<OptionsFailure> failures = PressOk(setup);
        EXPECT_TRUE(failures.empty()) << failures.front().check << ": " << failures.front().message;
    }
}

TEST(OptionsChecksTest, ModemOnlyStillNeedsTheNetworkTimeouts)
{
    Arrangement modemOnly{[](OptionsSettings& s, const std::string&) {
        s.main["EnableNetwork1"] = Text("0");
        s.main["ConnectViaTapi"] = Text("1");
        s.main["TapiDeviceName"] = Text("COM3");
        s.ports["COM3"] = Text("/dev/null");
        s.main["OutboundConnectTimeout"] = Dword(0);
    }};
    std::vector<OptionsFailure> failures = PressOk(modemOnly);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].check, 9);
}

TEST(OptionsChecksTest, FolderPromptsAskCreateOrGoOn)
{
    std::string created;
    Arrangement setup{[&created](OptionsSettings& s, const std::string& home) {
                    created = home + "/new/responses";
                    s.main["ResponseFileFolder"] = Text("  " + created + " ");
                },
                {}, Answer::Yes};
    std::vector<std::string> asked;
    EXPECT_TRUE(PressOk(setup, &asked, [&created](const OptionsValues& checked) {
                    EXPECT_TRUE(QDir(QString::fromStdString(created)).exists());
                    // The trimmed folder goes back into the edit, and so is saved.
                    EXPECT_EQ(checked.responseFileFolder, created);
                }).empty());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "Response File Folder | Response file folder '" + created +
                            "' does not exist.  Create the folder?");

    Arrangement logs{[](OptionsSettings& s, const std::string& home) {
                   s.main["EnableDebugMessages"] = Text("1");
                   s.main["DebugFileName"] = Text(home + "/logs/TuqLog.txt");
                   s.main["EnableNetworkDebugMessages"] = Text("1");
                   s.main["NetworkDebugFileName"] = Text(home + "/netlogs/TuqNetLog.txt");
               },
               {}, Answer::No};
    EXPECT_TRUE(PressOk(logs, &asked).empty());
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_NE(asked[0].find("Log File Folder | Folder '"), std::string::npos);
    EXPECT_NE(asked[0].find("/logs/' associated with the Log File does not exist.  Create the folder?"),
              std::string::npos);
    EXPECT_NE(asked[1].find("Net Log File Folder | Folder '"), std::string::npos);
    EXPECT_NE(asked[1].find("' associated with the Network Communications Log File does not exist."),
              std::string::npos);
}

TEST(OptionsChecksTest, AllFailuresListsEveryProblemWithItsSetting)
{
    TestHome home;
    OptionsSettings settings(home);
    settings.main["OutboundHostName1"] = Text("");
    settings.main["ClaimFileMask"] = Text(home.path() + "/gone/*.clm");
    settings.main["SystemID"] = Text("");
    settings.Write(home);
    OptionsValues values = LoadOptionsValues(LoadPurpose::Check);
    RecordingQuestion question(Answer::No);
    std::vector<std::string> lines;
    for (const OptionsFailure& failure : RunOptionsChecks(values, question, CheckScope::AllFailures))
        lines.push_back(FailureLine(failure));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "OutboundHostName1: Host 1 is selected but host name/IP address is not specified.",
                         "ClaimFileMask: Claim file folder '" + home.path() + "/gone/' does not exist.",
                         "SystemID: Please specify a System ID.  This string will be included at the end of "
                         "generated error responses.",
                     }));
    EXPECT_FALSE(QDir(QString::fromStdString(home.path() + "/gone")).exists());
}
