#pragma once
#include <string>

// The pharmacy systems that dial out through a modem, by their PharmacyConfig
// number, and every point at which the emulated modem treats them
// differently.
//   0 Unspecified
//   1 3PM Xenix Multi-Tech                          (single-digit result codes)
//   2 HCC Synercom US Robotics Sportster V.92
//   3 WinTapi US Robotics Courier V.Everything
//   4 McKesson Pharmaserve For Windows 09/2004
//   5 McKesson Pharmaserve For Windows 33.6 (10/2004)
//   6 Zadall
//   7 HCC Synercom US Robotics Sportster V.92 DTR2CD
class PharmacyProfile {
public:
    // Numbers outside 0..7 count as 0.
    explicit PharmacyProfile(int number);

    int Number() const { return number_; }
    // Profile 1: "9\r" and "3\r" instead of words, no "OK" and no CR LF.
    bool NumericResultCodes() const { return number_ == 1; }
    bool EchoAtOpen() const { return number_ != 1; }
    // 4, 5, 7: RTS drives the pharmacy's CTS/DSR, DTR its carrier.
    bool RtsIsReadiness() const { return IsMcKesson() || number_ == 7; }
    // 4, 5: DTR stays low until right before the first ENQ, and a DSR/CTS
    // trigger of their own.
    bool IsMcKesson() const { return number_ == 4 || number_ == 5; }
    bool HardwareFlowAllowed() const { return !RtsIsReadiness(); }
    // While echo is off, a dial line is answered with CR LF.
    bool CrLfForDialWithoutEcho() const;
    std::string ConnectReport(int speed) const;
    int EnqCount() const { return (number_ == 2 || number_ == 7) ? 2 : 1; }
    std::string NoCarrierReport() const;
    // The letter v acknowledges a response (Zadall).
    bool AcceptsV() const { return number_ == 6; }
    // RTS follows DTR down when a claim fails and when the source closes.
    bool DropsRtsWithCarrier() const { return number_ == 7; }
    bool DropsRtsOnCancel() const { return RtsIsReadiness(); }

private:
    int number_;
};
