#pragma once
#include "sources/claim_file_host.h"

#include <QObject>
#include <QTimer>
#include <string>

// The claim-file data source: a timer polls the claim folder, and each pass
// sends every claim file that matches the mask, writes its response file and
// deletes or archives it. Failed passes are retried after a pause; at the
// failure ceiling the claim is answered with a host-unavailable reject.
// Runs on the main thread and works through the controller's host interface.
class ClaimFileSource : public QObject {
    Q_OBJECT
public:
    explicit ClaimFileSource(ClaimFileHost& host, QObject* parent = nullptr);

    // Starts polling: the first pass runs one second from now.
    void Activate();
    void DisableTimer();
    bool IsTimerEnabled() const;
    // Milliseconds until the next pass while the timer is enabled.
    int TimerInterval() const;

    // One pass over the claim folder. Throws on a configuration error, and
    // with the pass's error when it ends at the failure ceiling unanswered.
    void SendClaimFiles();

public slots:
    // Runs a pass and arms the timer for the next one (or leaves it off).
    void FileDataSourceTimerTimer();

private:
    // The claim file being sent and the VISA framing taken off it.
    struct CurrentClaim {
        std::string name;
        std::string path;
        std::string claim;
        bool hadStx = false;
        bool hadEtx = false;
        unsigned char lrcByte = 0;
    };

    struct Pass {
        int fileCounter = 0;
        bool foundFile = false;
        bool fileError = false;
        CurrentClaim current;
    };

    void ArmTimer(int milliseconds);
    void ScheduleNextPass();
    void CheckConfiguration(const std::string& mask);
    [[noreturn]] void FailConfiguration(const std::string& status, const std::string& message);
    // Sends one claim file; false when the pass must stop without an error.
    bool SendClaimFile(Pass& pass, const std::string& folder, const std::string& name);
    std::string ReadClaimFile(Pass& pass);
    void PrepareClaim(CurrentClaim& current, std::string data);
    void ConnectIfNeeded();
    bool SwitchUsable();
    // True when the error that ended the pass must leave SendClaimFiles.
    bool HandleSendError(Pass& pass, const std::string& message);
    bool AnswerWithHostUnavailable(const CurrentClaim& current);
    void FinishPass(const Pass& pass);

    ClaimFileHost& host_;
    QTimer fileDataSourceTimer_;
};
