#include "sources/claim_file_source.h"

#include "base/claim_error.h"
#include "base/format_text.h"
#include "base/general_log.h"
#include "base/system_path.h"
#include "config/settings.h"
#include "reject/error_catalogue.h"
#include "relay/frames.h"
#include "sources/file_io.h"
#include "sources/path_ops.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>
#include <limits>
#include <sys/stat.h>

namespace {

constexpr int kPollMilliseconds = 1000;
// The retry pause when the settings themselves cannot be read.
constexpr int kSettingsRetrySeconds = 5;

// Sets filePassBusy for the pass, also when it ends with an error.
class PassBusyScope {
public:
    explicit PassBusyScope(ControllerState& state) : state_(state) { state_.filePassBusy = true; }
    ~PassBusyScope() { state_.filePassBusy = false; }
    PassBusyScope(const PassBusyScope&) = delete;
    PassBusyScope& operator=(const PassBusyScope&) = delete;

private:
    ControllerState& state_;
};

// Removes a temporary file once the step that needed it is over.
class TempResponseScope {
public:
    explicit TempResponseScope(ResponseFile& file) : file_(file) {}
    ~TempResponseScope() { DiscardResponseFile(file_); }
    TempResponseScope(const TempResponseScope&) = delete;
    TempResponseScope& operator=(const TempResponseScope&) = delete;

private:
    ResponseFile& file_;
};

// As on Windows, a final "*.*" also matches names without an extension.
QString ClaimFilePattern(const std::string& maskName)
{
    QString pattern = QString::fromStdString(maskName);
    if (pattern.endsWith("*.*"))
        pattern.chop(2);
    return pattern;
}

QDir FolderOf(const std::string& folder)
{
    return QDir(QString::fromStdString(folder.empty() ? "." : ToSystemPath(folder)));
}

// Files whose names match the mask's name part, case-sensitively like the
// file system, in name order. Links to files are listed too: the reader
// refuses them with a reason.
QStringList ListClaimFiles(const std::string& folder, const std::string& maskName)
{
    return FolderOf(folder).entryList({ClaimFilePattern(maskName)},
                                      QDir::Files | QDir::CaseSensitive, QDir::Name);
}

// Our temporary files: "TuqN" and six letters or digits.
void RemoveTempFilesIn(const std::string& folder)
{
    static const QRegularExpression tempName("^TuqN[A-Za-z0-9]{6}$");
    QDir dir = FolderOf(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!tempName.match(name).hasMatch())
            continue;
        std::string path = IncludeTrailingDelimiter(folder) + name.toStdString();
        struct stat info {};
        if (::lstat(ToSystemPath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (fileio::DeleteFile(path) == 0)
            LogMsg("Removed '%s', a temporary file left by an earlier run.", path.c_str());
    }
}

}  // namespace

ClaimFileSource::ClaimFileSource(ClaimSourceHost& host, QObject* parent)
    : QObject(parent), host_(host)
{
    fileDataSourceTimer_.setSingleShot(true);
    connect(&fileDataSourceTimer_, &QTimer::timeout, this,
            &ClaimFileSource::FileDataSourceTimerTimer);
}

void ClaimFileSource::Activate()
{
    RemoveLeftoverTempFiles();
    ArmTimer(kPollMilliseconds);
}

void ClaimFileSource::RemoveLeftoverTempFiles()
{
    // Folders that cannot be named now are checked by the first pass.
    try {
        std::string responseFolder = GetResponseFileFolder();
        if (responseFolder.empty())
            responseFolder = ExtractFolder(GetClaimFileMask());
        RemoveTempFilesIn(responseFolder);
        std::string archiveFolder = GetClaimFileArchiveFolder();
        if (!archiveFolder.empty())
            RemoveTempFilesIn(archiveFolder);
    } catch (const SettingsError&) {
    }
}

void ClaimFileSource::DisableTimer()
{
    fileDataSourceTimer_.stop();
}

bool ClaimFileSource::IsTimerEnabled() const
{
    return fileDataSourceTimer_.isActive();
}

int ClaimFileSource::TimerInterval() const
{
    return fileDataSourceTimer_.interval();
}

void ClaimFileSource::ArmTimer(int milliseconds)
{
    fileDataSourceTimer_.start(milliseconds);
}

void ClaimFileSource::FileDataSourceTimerTimer()
{
    DisableTimer();
    // Polling resumes after an error only when the user starts the source
    // again, or after a pause on a machine that nobody attends.
    try {
        SendClaimFiles();
        lastSettingsError_.clear();
        ScheduleNextPass();
    } catch (const SettingsError& error) {
        RetryAfterSettingsError(error.what());
    } catch (const std::exception& error) {
        host_.ShowError(error.what());
        host_.WaitForUser(error.what());
    }
}

// An editor may be rewriting the file: this is a passing fault like a lost
// connection, not one for the user to clear.
void ClaimFileSource::RetryAfterSettingsError(const std::string& message)
{
    if (message != lastSettingsError_) {
        LogMsg("The settings cannot be read:  '%s'", message.c_str());
        lastSettingsError_ = message;
    }
    host_.SetStatusText("The settings cannot be read.  Trying again in " +
                        std::to_string(kSettingsRetrySeconds) + " seconds.");
    ArmTimer(kSettingsRetrySeconds * 1000);
}

void ClaimFileSource::ScheduleNextPass()
{
    ControllerState& state = host_.State();
    if (state.cancelRequested) {
        host_.SetStatusText("Awaiting user input to continue (Cancel clicked).");
        state.failureCount = 0;
        host_.WaitForUser("Awaiting user input to continue (Cancel clicked).");
        return;
    }
    if (!state.failureCounted || state.failureCount == 0) {
        ArmTimer(kPollMilliseconds);
        return;
    }
    int retries = GetClaimFileRetries();
    if (state.failureCount != retries) {
        // QTimer counts milliseconds in an int.
        int delay =
            std::clamp(GetClaimFileRetryDelay(), 0, std::numeric_limits<int>::max() / 1000);
        host_.SetStatusText("Pausing " + std::to_string(delay) +
                            " seconds before sending again.  (Failure " +
                            std::to_string(state.failureCount) + " of " +
                            std::to_string(retries) + ")");
        ArmTimer(delay * 1000);
        return;
    }
    host_.SetStatusText("Awaiting user input to continue (max tries exceeded).");
    state.failureCount = 0;
    host_.WaitForUser("Awaiting user input to continue (max tries exceeded).");
}

void ClaimFileSource::SendClaimFiles()
{
    ControllerState& state = host_.State();
    PassBusyScope busy(state);
    state.failureCounted = false;
    state.switchError = 0;
    state.switchConnected = false;
    state.cancelRequested = false;

    std::string mask = GetClaimFileMask();
    CheckConfiguration(mask);
    std::string folder = ExtractFolder(mask);
    Pass pass;
    if (Guarded(pass, [&] { return DeliverKeptAnswers(pass); })) {
        pass.walkedAll = true;
        for (const QString& name : ListClaimFiles(folder, ExtractFileName(mask))) {
            if (!Guarded(pass, [&] { return SendClaimFile(pass, folder, name.toStdString()); })) {
                pass.walkedAll = false;
                break;
            }
        }
    }
    ForgetFilesNoLongerSetAside(pass);
    FinishPass(pass);
}

bool ClaimFileSource::Guarded(Pass& pass, const std::function<bool()>& step)
{
    try {
        return step();
    } catch (const std::exception& error) {
        if (HandleSendError(pass, error.what()))
            throw;
        return false;
    }
}

void ClaimFileSource::FailConfiguration(const std::string& status, const std::string& message)
{
    host_.State().CountFailure();
    host_.SetStatusText(status);
    throw ClaimError(message);
}

void ClaimFileSource::CheckConfiguration(const std::string& mask)
{
    if (mask.empty()) {
        FailConfiguration("Awaiting user input to continue (file error).",
                          "Specify a Claim File Mask prior to sending data (Click Options button)");
    }
    std::string claimFolder = ExtractFolder(mask);
    if (!claimFolder.empty() && !FolderExists(claimFolder)) {
        LogMsg("SendClaimFiles:  Claim Data Folder does not exist:  '%s'", claimFolder.c_str());
        FailConfiguration("Awaiting user input to continue (file error).",
                          "Specify a valid Claim File Mask / Folder prior to sending data "
                          "(Click Options button)");
    }
    std::string responseFolder = GetResponseFileFolder();
    if (!responseFolder.empty() && !FolderExists(responseFolder)) {
        LogMsg("SendClaimFiles:  Response File Folder does not exist:  '%s'",
               responseFolder.c_str());
        FailConfiguration("Awaiting user input to continue (response folder error).",
                          "Specify a valid Response File Folder prior to sending data "
                          "(Click Options button)");
    }
    std::string archiveFolder = GetClaimFileArchiveFolder();
    if (!archiveFolder.empty() && !FolderExists(archiveFolder)) {
        LogMsg("SendClaimFiles:  Claim File Archive Folder does not exist:  '%s'",
               archiveFolder.c_str());
        FailConfiguration("Awaiting user input to continue (claim archive folder error).",
                          "Specify a valid Claim File Archive Folder prior to sending data "
                          "(Click Options button)");
    }
}

bool ClaimFileSource::SendClaimFile(Pass& pass, const std::string& folder,
                                    const std::string& name)
{
    ControllerState& state = host_.State();
    std::string path = folder + name;
    if (keptAnswers_.count(path) != 0)
        return true;
    pass.foundFile = true;
    LogMsg("Processing file:  '%s'", name.c_str());
    ++pass.fileCounter;
    pass.current = CurrentClaim{};
    pass.current.name = name;
    pass.current.path = path;

    ClaimFileContent content = ReadClaimFile(path);
    if (!content.ok) {
        SetAside(pass, content.reason);
        return true;
    }
    pass.current.identity = content.identity;
    std::string invalid = PrepareClaim(pass.current, std::move(content.data));
    if (!invalid.empty()) {
        SetAside(pass, invalid);
        return true;
    }

    // A response folder that cannot take the answer fails before the switch
    // is asked, so that no answer is bought only to be lost.
    ResponseFile response;
    try {
        response = CreateResponseFile(state, path);
    } catch (const std::exception&) {
        pass.fileError = true;
        throw;
    }
    TempResponseScope responseScope(response);

    ConnectIfNeeded();
    if (!SwitchUsable()) {
        state.CountFailure();
        return false;
    }

    host_.SetStatusText("Sending file # " + std::to_string(pass.fileCounter));
    std::string reply;
    if (host_.SndBuf(pass.current.claim, reply) < 0) {
        state.CountFailure();
        if (!SwitchUsable())
            return false;
        LogMsg("Resp(%d)(%s)", static_cast<int>(reply.size()), PrintableText(reply).c_str());
        LogMsg("Unable to process claim");
        throw ClaimError("Unable to process claim");
    }

    host_.SetStatusText("Saving response for file:  '" + name + "'");
    LogMsg("Resp(%d)(%s)", static_cast<int>(reply.size()), PrintableText(reply).c_str());
    KeptAnswer answer{reply, pass.current.hadStx, pass.current.hadEtx, pass.current.lrcByte,
                      pass.current.identity, false};
    DeliverAnswer(pass, path, answer, &response);
    LogMsg("Finished processing file:  '%s'", name.c_str());
    return true;
}

// Writes the response and removes the claim. When either step fails the
// answer is kept, and later passes retry that step instead of the claim.
void ClaimFileSource::DeliverAnswer(Pass& pass, const std::string& path, KeptAnswer answer,
                                    ResponseFile* prepared)
{
    ControllerState& state = host_.State();
    try {
        if (!answer.responseWritten) {
            if (!StoreResponse(state, path, answer.reply, answer.hadStx, answer.hadEtx,
                               answer.lrcByte, prepared)) {
                keptAnswers_.erase(path);
                state.failureCount = 0;
                return;
            }
            answer.responseWritten = true;
        }
        state.failureCount = 0;
        RetireClaim(state, path);
        keptAnswers_.erase(path);
    } catch (const std::exception&) {
        pass.fileError = true;
        if (keptAnswers_.count(path) == 0)
            LogMsg("The answer for '%s' is kept until it can be written; the claim is not sent again.",
                   path.c_str());
        keptAnswers_[path] = answer;
        throw;
    }
}

bool ClaimFileSource::DeliverKeptAnswers(Pass& pass)
{
    std::vector<std::string> paths;
    for (const auto& [path, answer] : keptAnswers_)
        paths.push_back(path);
    for (const std::string& path : paths) {
        KeptAnswer answer = keptAnswers_.at(path);
        FileIdentity now;
        if (!StatIdentity(path, now)) {
            LogMsg("Kept answer dropped:  the claim file '%s' is gone.", path.c_str());
            keptAnswers_.erase(path);
            continue;
        }
        if (!(now == answer.identity)) {
            LogMsg("Kept answer dropped:  the claim file '%s' changed since it was sent.",
                   path.c_str());
            keptAnswers_.erase(path);
            continue;
        }
        LogMsg("Writing the kept answer for claim file '%s'", path.c_str());
        pass.current = CurrentClaim{};
        pass.current.path = path;
        DeliverAnswer(pass, path, answer, nullptr);
    }
    return true;
}

// A file that is not a claim now may become one (a claim still being
// written) or stay bad; either way the other files go on.
void ClaimFileSource::SetAside(Pass& pass, const std::string& reason)
{
    const std::string& path = pass.current.path;
    pass.setAside.insert(path);
    auto known = setAside_.find(path);
    if (known != setAside_.end() && known->second == reason)
        return;
    setAside_[path] = reason;
    LogMsg("Claim file '%s' set aside:  %s", path.c_str(), reason.c_str());
    host_.SetStatusText("Claim file '" + pass.current.name + "' set aside:  " + reason);
}

void ClaimFileSource::ForgetFilesNoLongerSetAside(const Pass& pass)
{
    if (!pass.walkedAll)
        return;
    std::erase_if(setAside_, [&](const auto& entry) { return pass.setAside.count(entry.first) == 0; });
}

std::string ClaimFileSource::PrepareClaim(CurrentClaim& current, std::string data)
{
    UnframedClaim unframed = UnframeClaim(std::move(data), GetClaimFileTrimAtNewline());
    if (unframed.cutAt != std::string::npos)
        LogMsg("Truncating data at newline, pos(%d), Len(%d)", static_cast<int>(unframed.cutAt) + 1,
               static_cast<int>(unframed.lengthBeforeCut));
    host_.SetStatusText("Preparing to send file:  '" + current.name + "'");
    current.claim = std::move(unframed.claim);
    current.hadStx = unframed.hadStx;
    current.hadEtx = unframed.hadEtx;
    current.lrcByte = unframed.lrcByte;
    if (current.claim.empty())
        return "it holds no claim data";
    if (current.claim.size() > static_cast<size_t>(kMaxFrameData))
        return FormatText("its claim is longer than %d bytes", kMaxFrameData);
    return "";
}

void ClaimFileSource::ConnectIfNeeded()
{
    if (host_.IsSwitchPortOpen())
        return;
    LogMsg("Connecting to Tuq Network...");
    host_.SetStatusText("Connecting to Tuq Network...");
    host_.ProcessMessages();
    // A failed connect is over as well; nothing may take it as still running.
    try {
        host_.ConnectToSwitch();
    } catch (...) {
        host_.State().connectInProgress = false;
        throw;
    }
    host_.State().connectInProgress = false;
    host_.SetStatusText("Connected to Tuq Network.");
}

bool ClaimFileSource::SwitchUsable()
{
    host_.ProcessMessages();
    const ControllerState& state = host_.State();
    return !state.cancelRequested && state.switchError == 0 && state.switchConnected;
}

bool ClaimFileSource::HandleSendError(Pass& pass, const std::string& message)
{
    ControllerState& state = host_.State();
    std::string oneLine = message;
    std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
    LogMsg("Claim send Exception '%s'", oneLine.c_str());
    state.CountFailure();

    if (host_.IsSwitchConnectionOpen()) {
        host_.SetStatusText("Closing Tuq Connection for error condition");
        try {
            host_.CloseSwitchConnection();
        } catch (const std::exception&) {
            // The pass has failed already; a second error adds nothing.
        }
    }

    if (state.failureCount != GetClaimFileRetries())
        return false;
    LogMsg("Maximum allowed failures (%d) have been reached.", state.failureCount);
    if (state.cancelRequested) {
        LogMsg("  Process was cancelled.  Rethrowing the exception.");
        return true;
    }
    if (pass.fileError) {
        LogMsg("  A file error was encountered.  Awaiting user input.");
        host_.SetStatusText("Awaiting user input to continue (file error).");
        return true;
    }
    if (AnswerWithHostUnavailable(pass.current))
        return false;
    LogMsg("  Rethrowing the original exception message:  '%s'", message.c_str());
    return true;
}

bool ClaimFileSource::AnswerWithHostUnavailable(const CurrentClaim& current)
{
    LogMsg("  Creating the host unavailable response.");
    try {
        std::string reject;
        if (!hostUnavailableMsg(current.claim, reject)) {
            LogMsg("  Failed to create the host unavailable response.  Invalid claim file.");
            return false;
        }
        LogMsg("  Writing the host unavailable response file.");
        WriteResponseFile(host_.State(), current.path, reject, current.hadStx, current.hadEtx,
                          current.lrcByte);
        return true;
    } catch (const std::exception&) {
        LogMsg("  An exception was thrown while creating the host unavailable response.");
        return false;
    }
}

void ClaimFileSource::FinishPass(const Pass& pass)
{
    ControllerState& state = host_.State();
    if (host_.IsSwitchConnectionOpen()) {
        host_.SetStatusText("Closing Tuq Connection after send.");
        host_.CloseSwitchConnection();
        host_.SetStatusText("Claim send operation complete.");
    }
    if (state.switchError != 0)
        state.CountFailure();
    if (!pass.foundFile)
        host_.SetStatusText("No claim files to send.");
}
