#include "sources/visa_exchange.h"

#include "base/control_chars.h"
#include "base/general_log.h"
#include "config/settings.h"
#include "ports/port_ticks.h"
#include "ports/pumped_wait.h"
#include "base/lrc.h"

#include <QMetaObject>
#include <algorithm>

namespace {

constexpr int kAckWaitSeconds = 10;
constexpr const char* kCloseForFailure = "Closing Tuq Connection for aborted/failed serial port claim.";

}  // namespace

VisaExchange::VisaExchange(ClaimSourceHost& host, ModemEmulator& modem, QObject* parent)
    : QObject(parent), host_(host), modem_(modem)
{
    modem_.ClaimDataPacket().OnStringPacket = [this](TApdDataPacket&, const std::string& data) {
        ClaimDataPacketStringPacket(data);
    };
    modem_.ClaimDataPacket().OnTimeout = [this](TApdDataPacket&) { ClaimDataPacketTimeout(); };
}

void VisaExchange::ClaimDataPacketStringPacket(const std::string& data)
{
    LogMsg("ClaimDataPacketStringPacket(%d)(%s)", static_cast<int>(data.size()),
           PrintableText(data).c_str());
    claimPacket_ = data;
    LogMsg("Posting a Windows Message to process the claim data.");
    QMetaObject::invokeMethod(
        this,
        [this] {
            try {
                ProcessSerialPortClaimData();
            } catch (const std::exception& error) {
                host_.ShowError(error.what());
            }
        },
        Qt::QueuedConnection);
}

void VisaExchange::ClaimDataPacketTimeout()
{
    LogMsg("ClaimDataPacketTimeout called");
    modem_.ClaimDataPacket().SetEnabled(true);
    modem_.Write(std::string(1, kNak));
}

void VisaExchange::ProcessSerialPortClaimData()
{
    host_.SetStatusText("Processing serial port claim...");
    LogMsg("Processing serial port claim data in ProcessSerialPortClaimData.");
    LogMsg("Allow any pending communications to catch up.");
    host_.ProcessMessages();
    LogMsg("Continue processing claim.  Communications should be caught up.");

    if (!host_.IsSwitchPortOpen()) {
        LogMsg("Tried to send claim from serial port with no connect to Tuq.");
        host_.SetStatusText("Tried to send serial port claim with no connect to Tuq.");
        modem_.HangUpWithEot();
        return;
    }
    std::string packet = claimPacket_;
    const bool lrc = GetLrc();
    if (lrc && !CheckLrc(packet))
        return;
    host_.State().failureCounted = false;
    if (packet.size() >= 2)
        packet = packet.substr(1, packet.size() - 2);
    else
        packet.clear();
    ForwardClaim(packet, lrc);
}

bool VisaExchange::CheckLrc(std::string& packet)
{
    unsigned char received = static_cast<unsigned char>(packet.back());
    packet.pop_back();
    unsigned char computed = ComputeLrc(packet);
    if (computed == received)
        return true;
    LogMsg("Serial port LRC Check Failed (Received 0x%.2x, Computed 0x%.2x, Data Len %d)", received,
           computed, static_cast<int>(claimPacket_.size()));
    host_.SetStatusText("Serial port claim failed LRC test.");
    modem_.ClaimDataPacket().SetEnabled(true);
    LogMsg("  Send a NAK and wait for input on serial port.");
    modem_.Write(std::string(1, kNak));
    return false;
}

void VisaExchange::ForwardClaim(const std::string& claim, bool lrc)
{
    ControllerState& state = host_.State();
    host_.SetStatusText("Sending serial port claim");
    std::string response;
    if (host_.SndBuf(claim, response) < 0) {
        state.failureCounted = true;
        std::string message;
        if (state.cancelRequested || state.switchError != 0 || !host_.IsSwitchPortOpen()) {
            LogMsg("Serial port claim send aborted.");
            message = "Serial port claim send aborted.";
        } else {
            LogMsg("Serial port claim send failed.");
            LogMsg("Resp(%d)(%s)", static_cast<int>(response.size()), PrintableText(response).c_str());
            message = "Unable to process serial port claim.";
        }
        FailExchange(kCloseForFailure, true);
        host_.SetStatusText(message + "  Awaiting next claim...");
        return;
    }
    LogMsg("Resp(%d)(%s)", static_cast<int>(response.size()), PrintableText(response).c_str());
    SendResponse(response, lrc);
}

void VisaExchange::SendResponse(const std::string& response, bool lrc)
{
    ControllerState& state = host_.State();
    const int tries = GetSPClientRetries();
    LogMsg("Maximum tries allowed to send claim to client via serial port is %d times.", tries);
    for (int attempt = 1;; ++attempt) {
        if (attempt > tries) {
            state.failureCounted = true;
            std::string text = "Could not deliver response to client in " + std::to_string(tries) + " tries.";
            host_.SetStatusText(text);
            LogMsg("%s", text.c_str());
            FailExchange("Closing Tuq Connection for failed serial port claim.");
            return;
        }
        std::string trying = "Sending response to client.  Try number " + std::to_string(attempt);
        host_.SetStatusText(trying + "...");
        LogMsg("%s", trying.c_str());
        host_.ProcessMessages();
        if (state.cancelRequested) {
            state.failureCounted = true;
            host_.SetStatusText("Serial port claim send aborted.");
            LogMsg("Serial port claim send aborted.");
            FailExchange(kCloseForFailure);
            return;
        }

        LogMsg("Sending response enclosed in STX/ETX packet via serial port.");
        modem_.TakeReceived();  // only answers to this packet count
        std::string packet = kStx + response + kEtx;
        if (lrc) {
            unsigned char check = ComputeLrc(response);
            LogMsg("Sending LRC (0x%.2x) via serial port.", check);
            packet += static_cast<char>(check);
        }
        modem_.Write(packet);

        Acknowledgement answer = WaitForClaimAck(kAckWaitSeconds);
        if (!answer.received) {
            state.failureCounted = true;
            host_.SetStatusText("Serial port claim timed out while waiting for ACK.");
            LogMsg("Serial port claim timed out while waiting for ACK (or EOT, ENQ, or NAK).");
            FailExchange(kCloseForFailure);
            return;
        }
        host_.ProcessMessages();
        if (answer.byte == kNak) {
            LogMsg("Received a NAK from the serial port.  Claim will be resent.");
            continue;
        }
        LogMsg("Serial Port claim successfully processed.");
        CompleteTransaction();
        return;
    }
}

VisaExchange::Acknowledgement VisaExchange::WaitForClaimAck(int seconds)
{
    ControllerState& state = host_.State();
    LogMsg("Waiting for claim delivery acknowledgement (ACK, EOT, NAK, or ENQ) from serial port.");
    EventTimer timer = NewTimer(FractionalSecs2Ticks(seconds));
    Acknowledgement answer;
    while (!TimerExpired(timer) && !state.cancelRequested && !state.failureCounted && !answer.received) {
        ProcessPendingEvents();
        std::string bytes = modem_.TakeReceived();
        if (bytes.empty()) {
            WaitForEvents(static_cast<int>(std::min<long long>(Ticks2Ms(RemainingTime(timer)), kMaxWaitSliceMs)));
            continue;
        }
        for (char byte : bytes) {
            if (IsAcknowledgement(byte)) {
                answer = {true, byte};
                break;
            }
            LogMsg("Unexpected acknowledgement character (0x%.2x) received from serial port.",
                   static_cast<unsigned char>(byte));
        }
    }
    if (!answer.received)
        LogMsg("Did not receive claim delivery acknowledgement from serial port.");
    return answer;
}

bool VisaExchange::IsAcknowledgement(char byte) const
{
    switch (byte) {
    case kEot: LogMsg("Received an EOT claim delivery acknowledgement from serial port."); return true;
    case kEnq: LogMsg("Received an ENQ claim delivery acknowledgement from serial port."); return true;
    case kAck: LogMsg("Received an ACK claim delivery acknowledgement from serial port."); return true;
    case kNak:
        LogMsg("Received a NAK (failure) claim delivery acknowledgement from serial port.");
        return true;
    case 'v':
        if (!modem_.Profile().AcceptsV())
            return false;
        LogMsg("Received a 'v' Zadall claim delivery acknowledgement from serial port.");
        return true;
    default: return false;
    }
}

void VisaExchange::FailExchange(const char* closeLogLine, bool claimNotForwarded)
{
    if (host_.IsSwitchConnectionOpen()) {
        LogMsg("%s", closeLogLine);
        host_.CloseSwitchConnection();
    }
    modem_.SourcePort().SetDTR(false);
    if (claimNotForwarded && modem_.Profile().DropsRtsWithCarrier())
        modem_.SourcePort().SetRTS(false);
    EndExchange();
}

// The pharmacy system learns of the failure from EOT and the NO CARRIER
// report; a Cancel has closed the port and said so already.
void VisaExchange::EndExchange()
{
    modem_.HangUpWithEot();
    modem_.EnterCommandMode();
}

void VisaExchange::CompleteTransaction()
{
    if (GetVisa2()) {
        LogMsg("Sending ENQ to serial port to complete VISA 2 transaction.");
        modem_.Write(std::string(1, kEnq));
        modem_.ArmBetweenClaims();
    } else {
        if (host_.IsSwitchConnectionOpen()) {
            host_.SetStatusText("Closing Tuq Connection for VISA 1 claim");
            LogMsg("Closing Tuq Connection for VISA I transaction.");
            host_.CloseSwitchConnection();
        }
        LogMsg("Complete VISA 1 transaction by closing serial port.");
        LogMsg("Dropping serial port DTR.");
        modem_.SourcePort().SetDTR(false);
        modem_.HangUpWithEot();
        if (GetClosePortOnHangup())
            ReopenPortAfterHangup();
        else
            modem_.EnterCommandMode();
    }
    host_.SetStatusText("Waiting for next claim on serial port.");
}

void VisaExchange::ReopenPortAfterHangup()
{
    LogMsg("Closing serial port to ensure the client detects the hang up.");
    host_.ProcessMessages();
    LogMsg("Dropping serial port DTR.");
    modem_.SourcePort().SetDTR(false);
    try {
        modem_.CloseSourcePort();
    } catch (const std::exception& error) {
        LogMsg("CloseDataSource Exception: '%s'", error.what());
    }
    LogMsg("Pausing for 1 second before reopening serial port.");
    PumpedWait(Secs2Ticks(1));
    modem_.OpenSourcePort();
}
