#pragma once
#include "sources/claim_source_host.h"
#include "sources/modem_emulator.h"

#include <QObject>
#include <string>

// One claim on the serial line, once the modem has said CONNECT: takes the
// STX..ETX packet from the claim matcher, checks its LRC, forwards the claim,
// returns the response in the same framing until the pharmacy system
// acknowledges it (resending on NAK), and ends the VISA I way (hang up after
// each claim) or the VISA II way (ENQ for the next claim on the same call).
class VisaExchange : public QObject {
    Q_OBJECT
public:
    VisaExchange(ClaimSourceHost& host, ModemEmulator& modem, QObject* parent = nullptr);

    // The message posted for each claim packet (1424).
    void ProcessSerialPortClaimData();

    struct Acknowledgement {
        bool received = false;
        char byte = 0;
    };
    // Waits for ACK, EOT, ENQ or NAK (and the letter v in the Zadall
    // profile), looking at every byte that arrived since the last look.
    Acknowledgement WaitForClaimAck(int seconds);

private:
    void ClaimDataPacketStringPacket(const std::string& data);
    void ClaimDataPacketTimeout();
    // False when the check byte does not match (the packet is refused).
    bool CheckLrc(std::string& packet);
    void ForwardClaim(const std::string& claim, bool lrc);
    void SendResponse(const std::string& response, bool lrc);
    // Which byte of the ones received acknowledges the response, if any.
    bool IsAcknowledgement(char byte) const;
    // Closes the switch side, lowers the carrier and hangs up the call.
    void FailExchange(const char* closeLogLine, bool claimNotForwarded = false);
    void EndExchange();
    void CompleteTransaction();
    void ReopenPortAfterHangup();

    ClaimSourceHost& host_;
    ModemEmulator& modem_;
    std::string claimPacket_;
};
