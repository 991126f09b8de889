#include "sources/modem_emulator.h"

#include "base/control_chars.h"
#include "base/general_log.h"
#include "config/settings.h"
#include "ports/port_errors.h"
#include "ports/port_ticks.h"
#include "ports/pumped_wait.h"

#include <QMetaObject>
#include <cctype>

namespace {

constexpr int kSourceInSize = 8192;
constexpr int kDsrCtsMask = 0x30;

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool IsLetterOrDigit(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

ModemEmulator::ModemEmulator(ClaimSourceHost& host, QObject* parent)
    : QObject(parent)
    , host_(host)
    , modemAtDataPacket_(sourcePort_)
    , modemEscapeDataPacket_(sourcePort_)
    , modemEotDataPacket_(sourcePort_)
    , claimDataPacket_(sourcePort_)
{
    sourcePort_.SetInSize(kSourceInSize);
    SetUpMatcher(modemAtDataPacket_, "AT", ecString, "\r", 90);
    SetUpMatcher(modemEscapeDataPacket_, "+++", 0, "", 364);
    SetUpMatcher(modemEotDataPacket_, std::string(1, kEot), 0, "", 364);
    SetUpMatcher(claimDataPacket_, "\x02", ecString, "\x03?", 182);

    modemAtDataPacket_.OnStringPacket = [this](TApdDataPacket&, const std::string& data) {
        ModemAtDataPacketStringPacket(data);
    };
    modemAtDataPacket_.OnTimeout = [this](TApdDataPacket&) { ModemAtDataPacketTimeout(); };
    auto escape = [this](TApdDataPacket&, const std::string& data) {
        ModemEscapeDataPacketStringPacket(data);
    };
    modemEscapeDataPacket_.OnStringPacket = escape;
    modemEotDataPacket_.OnStringPacket = escape;

    connect(&sourcePort_, &TApdWinsockPort::OnTriggerAvail, this,
            &ModemEmulator::SourcePortTriggerAvail);
    connect(&sourcePort_, &TApdWinsockPort::OnTriggerModemStatus, this,
            &ModemEmulator::SourcePortTriggerModemStatus);
    for (TApdDataPacket* matcher : {&modemAtDataPacket_, &modemEscapeDataPacket_,
                                    &modemEotDataPacket_, &claimDataPacket_})
        connect(matcher, &TApdDataPacket::HandlerFailed, this,
                [this](const QString& message) { host_.ShowError(message.toStdString()); });
}

void ModemEmulator::SetUpMatcher(TApdDataPacket& matcher, const std::string& start, int endCond,
                                 const std::string& end, int ticks)
{
    matcher.SetAutoEnable(false);
    matcher.SetIgnoreCase(true);
    matcher.SetIncludeStrings(true);
    matcher.SetStartString(start);
    matcher.SetEndCond(endCond);
    matcher.SetEndString(end);
    matcher.SetTimeOut(ticks);
}

void ModemEmulator::UseProfile(const PharmacyProfile& profile)
{
    profile_ = profile;
    echoEnabled_ = profile.EchoAtOpen();
}

template <typename Work>
void ModemEmulator::Post(Work work)
{
    QMetaObject::invokeMethod(
        this,
        [this, work] {
            try {
                (this->*work)();
            } catch (const std::exception& error) {
                host_.ShowError(error.what());
            }
        },
        Qt::QueuedConnection);
}

// --- The data source's side ---------------------------------------------

void ModemEmulator::ConfigureSourcePort()
{
    sourcePort_.SetComNumber(GetComNumber());
    sourcePort_.SetBaud(GetBaud());
    sourcePort_.SetParity(static_cast<TParity>(GetParity()));
    sourcePort_.SetDataBits(GetDataBits());
    sourcePort_.SetStopBits(GetStopBits());

    THWFlowOptions hardware = 0;
    if (Profile().HardwareFlowAllowed()) {
        if (GetDtrDsr())
            hardware |= hwfUseDTR | hwfRequireDSR;
        if (GetRtsCts())
            hardware |= hwfUseRTS | hwfRequireCTS;
    }
    sourcePort_.SetHWFlowOptions(hardware);
    const int inSize = sourcePort_.InSize();
    if (hardware != 0) {
        sourcePort_.SetBufferFull(inSize * 9 / 10);
        sourcePort_.SetBufferResume(inSize / 10);
    }

    bool transmit = GetSoftwareTransmit();
    bool receive = GetSoftwareReceive();
    sourcePort_.SetSWFlowOptions(transmit && receive ? swfBoth
                                 : transmit          ? swfTransmit
                                 : receive           ? swfReceive
                                                     : swfNone);
    if (transmit || receive) {
        sourcePort_.SetBufferFull(inSize * 3 / 4);
        sourcePort_.SetBufferResume(inSize / 4);
    }
    sourcePort_.SetXOnChar(static_cast<unsigned char>(GetXOnChar()));
    sourcePort_.SetXOffChar(static_cast<unsigned char>(GetXOffChar()));
}

void ModemEmulator::OpenSourcePort()
{
    if (sourcePort_.Open()) {
        LogMsg("OpenSourcePort called for already open port.");
        return;
    }
    try {
        LogMsg("OpenSourcePort called.");
        sourcePort_.SetOpen(true);
        PharmacyProfile profile = Profile();
        if (profile.RtsIsReadiness()) {
            LogMsg(profile.Number() == 5 ? "Raising serial port RTS to raise pharmacy CTS."
                                         : "Raising serial port RTS to raise pharmacy DSR and CTS.");
            sourcePort_.SetRTS(true);
            DropDtr("Lower serial port DTR to lower pharmacy CD.");
            if (profile.IsMcKesson()) {
                quint16 trigger = sourcePort_.AddStatusTrigger(stModem);
                sourcePort_.SetStatusTrigger(trigger, kDsrCtsMask, true);
                modemStatusTrigger_ = trigger;
            }
        } else {
            LogMsg("Raising serial port DTR.");
            sourcePort_.SetDTR(true);
        }
        EnterCommandMode();
        LogMsg("OpenSourcePort successful.");
    } catch (const std::exception& error) {
        LogMsg("OpenSourcePort Exception: '%s'", error.what());
        throw;
    }
}

void ModemEmulator::CloseSourcePort()
{
    try {
        for (TApdDataPacket* matcher : {&modemAtDataPacket_, &modemEscapeDataPacket_,
                                        &modemEotDataPacket_, &claimDataPacket_})
            matcher->SetEnabled(false);
        if (sourcePort_.Open()) {
            sourcePort_.SetOpen(false);
            // The port's triggers went with it.
            modemStatusTrigger_ = 0;
        }
    } catch (const std::exception& error) {
        LogMsg("CloseSourcePort Exception: '%s'", error.what());
        throw;
    }
}

// --- Shared endings -------------------------------------------------------

void ModemEmulator::Write(const std::string& bytes)
{
    sourcePort_.PutString(bytes);
}

void ModemEmulator::DropDtr(const char* logLine)
{
    if (!sourcePort_.DTR())
        return;
    LogMsg("%s", logLine);
    sourcePort_.SetDTR(false);
}

void ModemEmulator::DropRts(const char* logLine)
{
    if (!sourcePort_.RTS())
        return;
    LogMsg("%s", logLine);
    sourcePort_.SetRTS(false);
}

void ModemEmulator::SendNoCarrier()
{
    if (!sourcePort_.Open())
        return;
    PharmacyProfile profile = Profile();
    if (profile.NumericResultCodes())
        LogMsg("Send NO CARRIER code(3) to serial port.");
    else if (profile.NoCarrierReport().front() == '\r')
        LogMsg("Sending '<Cr><Lf>NO CARRIER<Cr><Lf>' to serial port.");
    else
        LogMsg("Sending 'NO CARRIER' and '+++' to serial port.");
    Write(profile.NoCarrierReport());
}

void ModemEmulator::HangUpWithEot()
{
    if (!sourcePort_.Open())
        return;
    LogMsg("Send EOT to serial port.");
    Write(std::string(1, kEot));
    SendNoCarrier();
}

void ModemEmulator::EnterCommandMode()
{
    modemAtDataPacket_.SetEnabled(true);
    modemEscapeDataPacket_.SetEnabled(false);
    modemEotDataPacket_.SetEnabled(false);
    claimDataPacket_.SetEnabled(false);
}

void ModemEmulator::ArmBetweenClaims()
{
    claimDataPacket_.SetEnabled(true);
    modemAtDataPacket_.SetEnabled(true);
    modemEotDataPacket_.SetEnabled(true);
}

void ModemEmulator::ReturnToCommandMode()
{
    if (host_.IsSwitchConnectionOpen())
        host_.CloseSwitchConnection();
    EnterCommandMode();
}

std::string ModemEmulator::TakeReceived()
{
    std::string bytes;
    bytes.swap(received_);
    return bytes;
}

// --- Command lines --------------------------------------------------------

void ModemEmulator::ModemAtDataPacketStringPacket(const std::string& data)
{
    LogMsg("ModemAtDataPacketStringPacket(%d) >>>%s<<<", static_cast<int>(data.size()),
           PrintableText(data).c_str());
    MakePharmacySideReady();
    std::string upper = Upper(data);
    UpdateEcho(upper);

    bool guardWasUp = hangupGuard_;
    hangupGuard_ = false;
    size_t dial = upper.find("DT");
    if (upper.rfind("AT", 0) == 0 && dial != std::string::npos && dial >= 2 && upper != "ATDT;\r") {
        LogMsg("  Received Modem ATDT command from serial port.");
        LogVersion();
        dialCommand_ = data;
        LogMsg("Posting a Windows Message to process an ATDT command.");
        Post(&ModemEmulator::ProcessAtdtFromClientSerialPort);
        return;
    }
    bool hangup = upper.rfind("ATH", 0) == 0 && (upper.size() == 3 || upper[3] != '1');
    if (hangup && !guardWasUp) {
        LogMsg("  Received Modem ATH / ATH0 (Hangup) command from serial port.");
        hangupCommand_ = data;
        LogMsg("Posting a Windows Message to process an ATH0 command.");
        Post(&ModemEmulator::ProcessAth0FromClientSerialPort);
        return;
    }
    if (upper.rfind("ATZ", 0) == 0) {
        LogMsg("  Received Modem ATZ (Reset) command from serial port.");
        hangupCommand_ = data;
        LogMsg("Posting a Windows Message to process an ATH0 command.");
        Post(&ModemEmulator::ProcessAth0FromClientSerialPort);
        return;
    }
    AnswerOrdinaryCommand(data);
}

void ModemEmulator::MakePharmacySideReady()
{
    PharmacyProfile profile = Profile();
    if (profile.Number() == 7) {
        if (!sourcePort_.RTS()) {
            LogMsg("Raising serial port RTS.");
            sourcePort_.SetRTS(true);
        }
    } else if (profile.IsMcKesson()) {
        if (!sourcePort_.RTS()) {
            LogMsg("Raising serial port RTS to raise pharmacy CTS and DSR.");
            sourcePort_.SetRTS(true);
        }
    } else if (!sourcePort_.DTR()) {
        LogMsg("Raising serial port DTR.");
        sourcePort_.SetDTR(true);
    }
}

// ATE0 switches echo off, ATE1 and ATE on; an E after a punctuation
// character changes nothing.
void ModemEmulator::UpdateEcho(const std::string& upper)
{
    if (upper.rfind("AT", 0) != 0)
        return;
    size_t e = upper.find('E');
    if (e == std::string::npos || e < 2 || !IsLetterOrDigit(upper[e - 1]))
        return;
    if (e + 1 < upper.size() && upper[e + 1] == '0') {
        LogMsg("  Detected E0; Turning echo OFF");
        echoEnabled_ = false;
    } else {
        LogMsg("  Detected E/E1; Turning echo ON");
        echoEnabled_ = true;
    }
}

void ModemEmulator::EchoCommand(const std::string& line, const char* echoLog, const char* crLfLog)
{
    const char* logLine = nullptr;
    if (echoEnabled_) {
        Write(line + "\r\n");
        logLine = echoLog;
    } else if (!profile_.NumericResultCodes()) {
        Write("\r\n");
        logLine = crLfLog;
    }
    if (logLine)
        LogMsg("%s", logLine);
}

void ModemEmulator::AnswerOrdinaryCommand(const std::string& data)
{
    EchoCommand(data, "  Echoed data back to serial port.", "  Echoed CrLf to serial port.");
    modemAtDataPacket_.SetEnabled(true);
    if (!profile_.NumericResultCodes()) {
        Write("OK\r\n");
        LogMsg("Sent an OK to serial port.");
    }
}

// The timed-out matcher has disarmed itself; left so, the modem would stay
// deaf to every command line until the source is reopened.
void ModemEmulator::ModemAtDataPacketTimeout()
{
    LogMsg("ModemAtDataPacketTimeout called");
    modemAtDataPacket_.SetEnabled(true);
}

// --- Dial -----------------------------------------------------------------

void ModemEmulator::ProcessAtdtFromClientSerialPort()
{
    ControllerState& state = host_.State();
    try {
        EchoDialCommand();
        modemAtDataPacket_.SetEnabled(false);
        modemEscapeDataPacket_.SetEnabled(true);
        modemEotDataPacket_.SetEnabled(true);
        if (host_.IsSwitchConnectionOpen() && state.switchError != 0) {
            LogMsg("Disconnecting from Tuq Network to clear port error...");
            host_.CloseSwitchConnection();
        }
        if (!host_.IsSwitchPortOpen())
            ConnectForDial();
        host_.ProcessMessages();
        if (state.cancelRequested || state.switchError != 0 || !state.switchConnected) {
            ReturnToCommandMode();
            DropDtr();
            SendNoCarrier();
            return;
        }
        ReportConnect();
    } catch (const std::exception& error) {
        EndFailedDial(error.what());
    }
}

void ModemEmulator::EchoDialCommand()
{
    PharmacyProfile profile = Profile();
    if (echoEnabled_) {
        Write(dialCommand_ + "\r\n");
        LogMsg("  Echoed ATDT data back to serial port.");
    } else if (profile.IsMcKesson()) {
        LogMsg("  No Echo for ATDT and PFW system.");
    } else if (profile.CrLfForDialWithoutEcho()) {
        Write("\r\n");
        LogMsg("  Echoed CrLf for ATDT to serial port.");
    }
}

void ModemEmulator::ConnectForDial()
{
    ControllerState& state = host_.State();
    LogMsg("Connecting to Tuq Network for serial port...");
    host_.SetStatusText("Connecting to Tuq Network...");
    state.switchError = 0;
    state.cancelRequested = false;
    host_.ProcessMessages();
    try {
        host_.ConnectToSwitch();
    } catch (...) {
        state.connectInProgress = false;
        throw;
    }
    state.connectInProgress = false;
    host_.SetStatusText("Connected to Tuq Network.");
    LogMsg("Connected to Tuq Network.");
    claimDataPacket_.SetEndString(GetLrc() ? "\x03?" : "\x03");
    claimDataPacket_.SetEnabled(true);
}

void ModemEmulator::ReportConnect()
{
    PharmacyProfile profile = Profile();
    if (!profile.IsMcKesson() && !sourcePort_.DTR()) {
        LogMsg("Raising serial port DTR.");
        sourcePort_.SetDTR(true);
    }
    const int speed = sourcePort_.Baud();
    Write(profile.ConnectReport(speed));
    switch (profile.Number()) {
    case 1: LogMsg("Sent '9Cr' to serial port to signal connect event."); break;
    case 3: LogMsg("Sent 'CONNECT %d/NONE' to serial port.", speed); break;
    case 4: LogMsg("Sent 'CrLfCONNECT 2400 NoECCrLf' to serial port."); break;
    case 5: LogMsg("Sent 'CrLfCONNECT 2400CrLf' to serial port."); break;
    default: LogMsg("Sent 'CONNECT %d' to serial port.", speed); break;
    }

    if (GetEnqHalfSecDelay()) {
        double pause = GetSPEnqPause();
        LogMsg("Pausing for %g seconds before sending ENQ to serial port.", pause);
        PumpedWait(FractionalSecs2Ticks(pause));
    } else {
        LogMsg("No pause before sending ENQ to serial port.");
    }
    if (profile.IsMcKesson())
        sourcePort_.SetDTR(true);
    Write(std::string(1, kEnq));
    LogMsg("Sent ENQ to serial port.");
    if (profile.EnqCount() == 2) {
        Write(std::string(1, kEnq));
        LogMsg("Sent second ENQ to serial port for HCC system.");
    }
}

void ModemEmulator::EndFailedDial(const std::string& error)
{
    ControllerState& state = host_.State();
    LogMsg("Unexpected error while handling modem 'ATDT' command.");
    state.failureCounted = true;
    if (state.switchError == 0 && !state.cancelRequested) {
        LogMsg("Unexpected error processing record from serial port.");
        LogMsg("  Error:  '%s'", error.c_str());
    }
    ReturnToCommandMode();
    LogMsg("Dropping serial port DTR.");
    sourcePort_.SetDTR(false);
    try {
        SendNoCarrier();
    } catch (const std::exception& writeError) {
        LogMsg("Could not send the NO CARRIER report:  '%s'", writeError.what());
    }
}

// --- Hang-up, escape, EOT ------------------------------------------------

void ModemEmulator::ProcessAth0FromClientSerialPort()
{
    EchoCommand(hangupCommand_, "  Echoed ATH / ATH0 (Hangup) data back to serial port.",
                "  Sent CrLf for ATH / ATH0 (Hangup) to serial port.");
    if (!profile_.NumericResultCodes()) {
        Write("OK\r\n");
        LogMsg("Sent an OK to serial port.");
    }
    if (host_.IsSwitchConnectionOpen()) {
        host_.SetStatusText("Closing Tuq Connection for serial port hangup");
        LogMsg("Closing Tuq Connection for serial port hangup");
        host_.CloseSwitchConnection();
        LogMsg("Dropping serial port DTR.");
        sourcePort_.SetDTR(false);
        SendNoCarrier();
    }
    modemAtDataPacket_.SetEnabled(true);
}

void ModemEmulator::ModemEscapeDataPacketStringPacket(const std::string& data)
{
    if (!data.empty() && data.front() == kEot)
        LogMsg("ModemEscapeDataPacketStringPacket >>>[EOT]<<<");
    else
        LogMsg("ModemEscapeDataPacketStringPacket(%d) >>>%s<<<", static_cast<int>(data.size()),
               PrintableText(data).c_str());
    if (host_.IsSwitchConnectionOpen()) {
        host_.SetStatusText("Closing Tuq Connection for Modem Escape packet");
        host_.CloseSwitchConnection();
    }
    EchoCommand(data, nullptr, nullptr);
    LogMsg("Dropping serial port DTR.");
    sourcePort_.SetDTR(false);
    SendNoCarrier();
    EnterCommandMode();
    host_.SetStatusText("Waiting for next set of claims on serial port.");
}

// --- Port notifications ---------------------------------------------------

void ModemEmulator::SourcePortTriggerAvail(int count)
{
    const bool logRaw = SerialPortLoggingEnabled();
    std::string chunk;
    try {
        for (int i = 0; i < count; ++i)
            chunk += sourcePort_.GetChar();
    } catch (const EBufferIsEmpty&) {
        LogMsg("Undesired EBufferIsEmpty Exception occurred while reading characters");
    }
    received_ += chunk;
    if (logRaw)
        LogMsg("Source Port Data Received (%d)(%s)", count, PrintableText(chunk).c_str());
}

void ModemEmulator::SourcePortTriggerModemStatus()
{
    bool deltaDsr = sourcePort_.DeltaDSR();
    bool deltaCts = sourcePort_.DeltaCTS();
    bool dsr = sourcePort_.DSR();
    bool cts = sourcePort_.CTS();
    LogMsg("Modem Status Change: DeltaDSR(%d) DeltaCTS(%d) DTR(%d) CTS(%d)", deltaDsr, deltaCts,
           dsr, cts);
    PharmacyProfile profile = Profile();
    if (deltaDsr && deltaCts && dsr && cts) {
        if (profile.IsMcKesson()) {
            LogMsg("DRS and CTS raised; Enabling echo.");
            echoEnabled_ = true;
        }
    } else if (deltaDsr && !deltaCts && cts && profile.IsMcKesson()) {
        if (!dsr) {
            DropDtr("DRS lowered; Lowering serial port DTR to lower pharmacy CD.");
        } else {
            LogMsg("DRS raised; Sending CrLfOKCrLf.");
            Write("\r\nOK\r\n");
        }
    }
    if (modemStatusTrigger_ != 0)
        sourcePort_.SetStatusTrigger(modemStatusTrigger_, kDsrCtsMask, true);
}
