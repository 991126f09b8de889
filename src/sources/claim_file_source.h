#pragma once
#include "sources/claim_source_host.h"

#include "sources/claim_file_reader.h"
#include "sources/response_file.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <set>
#include <string>

// The claim-file data source: a timer polls the claim folder, and each pass
// sends every claim file that matches the mask, writes its response file and
// deletes or archives it. Failed passes are retried after a pause; at the
// failure ceiling the claim is answered with a host-unavailable reject.
// A file that is not a claim (a link, unreadable, empty, too long) is set
// aside and tried again on later passes without holding back the others. An
// answer that could not be written is kept and only its writing is retried,
// so that no claim is ever sent twice by our fault while the process runs.
// Runs on the main thread and works through the controller's host interface.
class ClaimFileSource : public QObject {
    Q_OBJECT
public:
    explicit ClaimFileSource(ClaimSourceHost& host, QObject* parent = nullptr);

    // Starts polling: the first pass runs one second from now. Removes the
    // temporary files that an earlier run left behind.
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

    // Claims whose answer came back but is not yet in its response file.
    int KeptAnswerCount() const { return static_cast<int>(keptAnswers_.size()); }

private:
    // The claim file being sent and the VISA framing taken off it.
    struct CurrentClaim {
        std::string name;
        std::string path;
        std::string claim;
        bool hadStx = false;
        bool hadEtx = false;
        unsigned char lrcByte = 0;
        FileIdentity identity;
    };

    // The switch's answer to a claim file, held until it is in place.
    struct KeptAnswer {
        std::string reply;
        bool hadStx = false;
        bool hadEtx = false;
        unsigned char lrcByte = 0;
        FileIdentity identity;        // of the claim file that was sent
        bool responseWritten = false; // only the claim's removal is left
    };

    struct Pass {
        int fileCounter = 0;
        bool foundFile = false;
        bool fileError = false;
        bool walkedAll = false;
        CurrentClaim current;
        std::set<std::string> setAside;
    };

    void ArmTimer(int milliseconds);
    void ScheduleNextPass();
    void RetryAfterSettingsError(const std::string& message);
    void RemoveLeftoverTempFiles();
    // Runs one step of a pass; false when the pass must stop.
    bool Guarded(Pass& pass, const std::function<bool()>& step);
    bool DeliverKeptAnswers(Pass& pass);
    void DeliverAnswer(Pass& pass, const std::string& path, KeptAnswer answer,
                       ResponseFile* prepared);
    void SetAside(Pass& pass, const std::string& reason);
    void ForgetFilesNoLongerSetAside(const Pass& pass);
    void CheckConfiguration(const std::string& mask);
    [[noreturn]] void FailConfiguration(const std::string& status, const std::string& message);
    // Sends one claim file; false when the pass must stop without an error.
    bool SendClaimFile(Pass& pass, const std::string& folder, const std::string& name);
    // Empty when the data holds a claim, else why it does not.
    std::string PrepareClaim(CurrentClaim& current, std::string data);
    void ConnectIfNeeded();
    bool SwitchUsable();
    // True when the error that ended the pass must leave SendClaimFiles.
    bool HandleSendError(Pass& pass, const std::string& message);
    bool AnswerWithHostUnavailable(const CurrentClaim& current);
    void FinishPass(const Pass& pass);

    ClaimSourceHost& host_;
    QTimer fileDataSourceTimer_;
    std::map<std::string, KeptAnswer> keptAnswers_;  // by claim path
    std::map<std::string, std::string> setAside_;    // claim path -> reason logged
    std::string lastSettingsError_;
};
