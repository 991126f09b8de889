#pragma once
#include "ports/comm_port.h"
#include "ports/data_packet.h"
#include "sources/claim_source_host.h"
#include "sources/pharmacy_profile.h"

#include <QObject>
#include <string>

// The modem that a pharmacy system dials on its serial cable: answers the
// "AT" command lines, echoes them or not, reports CONNECT when a tone dial
// has reached the switch, invites the first claim with ENQ, and goes back to
// command mode with a NO CARRIER report on hang-up, "+++" or EOT. Owns the
// serial port to the pharmacy system and its four packet matchers; the claim
// packets themselves are the VISA exchange's. Main thread only.
class ModemEmulator : public QObject {
    Q_OBJECT
public:
    explicit ModemEmulator(ClaimSourceHost& host, QObject* parent = nullptr);

    TApdWinsockPort& SourcePort() { return sourcePort_; }
    bool IsSourcePortOpen() const { return sourcePort_.Open(); }
    TApdDataPacket& ClaimDataPacket() { return claimDataPacket_; }

    // The profile taken when the data source opens; echo starts from it.
    void UseProfile(const PharmacyProfile& profile);
    const PharmacyProfile& Profile() const { return profile_; }
    // Changed by ATE0/ATE1, and for McKesson systems by DSR and CTS rising.
    bool EchoEnabled() const { return echoEnabled_; }

    // The data source's side (port settings, lines and matchers by profile).
    void ConfigureSourcePort();
    void OpenSourcePort();
    void CloseSourcePort();

    void SendNoCarrier();
    // Closes the switch connection; only the AT matcher stays armed.
    void ReturnToCommandMode();
    // Arms the AT matcher; disarms escape, EOT and claim matchers.
    void EnterCommandMode();
    // VISA II after a good exchange: the next claim, a hang-up command or
    // EOT may come; the escape matcher stays as it was.
    void ArmBetweenClaims();
    // Writes to the pharmacy system; raises when the port cannot take it.
    void Write(const std::string& bytes);
    // Lowers a line with its log line when it is up.
    void DropDtr(const char* logLine = "Dropping serial port DTR.");
    void DropRts(const char* logLine);
    // EOT, then the NO CARRIER report: what ends a call from our side.
    void HangUpWithEot();

    // Every byte received since the last call: acknowledgements are looked
    // for here, so none is missed between two looks.
    std::string TakeReceived();

    // The messages posted by the matcher handlers (1425 and 1426).
    void ProcessAtdtFromClientSerialPort();
    void ProcessAth0FromClientSerialPort();

private:
    void SetUpMatcher(TApdDataPacket& matcher, const std::string& start, int endCond,
                      const std::string& end, int ticks);
    void ModemAtDataPacketStringPacket(const std::string& data);
    void ModemAtDataPacketTimeout();
    void ModemEscapeDataPacketStringPacket(const std::string& data);
    void SourcePortTriggerAvail(int count);
    void SourcePortTriggerModemStatus();
    void MakePharmacySideReady();
    void UpdateEcho(const std::string& upper);
    // The echo of a command line, or CR LF in its place while echo is off;
    // nothing with numeric result codes. Logs the line that applies, if any.
    void EchoCommand(const std::string& line, const char* echoLog, const char* crLfLog);
    void AnswerOrdinaryCommand(const std::string& data);
    void EchoDialCommand();
    void ConnectForDial();
    void ReportConnect();
    void EndFailedDial(const std::string& error);
    // Runs a posted message; an error that escapes it goes to the error box.
    template <typename Work>
    void Post(Work work);

    ClaimSourceHost& host_;
    TApdWinsockPort sourcePort_;
    TApdDataPacket modemAtDataPacket_;
    TApdDataPacket modemEscapeDataPacket_;
    TApdDataPacket modemEotDataPacket_;
    TApdDataPacket claimDataPacket_;
    std::string dialCommand_;
    std::string hangupCommand_;
    std::string received_;
    PharmacyProfile profile_{0};
    bool echoEnabled_ = true;
    // The DSR/CTS trigger of McKesson systems; 0 while there is none.
    quint16 modemStatusTrigger_ = 0;
    // A hang-up as the very first command line after start is an ordinary
    // command.
    bool hangupGuard_ = true;
};
