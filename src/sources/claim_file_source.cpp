#include "sources/claim_file_source.h"

#include "base/claim_error.h"
#include "base/format_text.h"
#include "base/general_log.h"
#include "base/system_path.h"
#include "config/settings.h"
#include "reject/error_catalogue.h"
#include "sources/file_io.h"
#include "sources/path_ops.h"
#include "sources/response_file.h"

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <limits>
#include <unistd.h>

namespace {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';
constexpr int kPollMilliseconds = 1000;

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

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

// Normal files whose names match the mask's name part, case-sensitively like
// the file system, in name order.
QStringList ListClaimFiles(const std::string& folder, const std::string& pattern)
{
    QDir dir(QString::fromStdString(folder.empty() ? "." : ToSystemPath(folder)));
    return dir.entryList({QString::fromStdString(pattern)}, QDir::Files | QDir::CaseSensitive,
                         QDir::Name);
}

}  // namespace

ClaimFileSource::ClaimFileSource(ClaimFileHost& host, QObject* parent)
    : QObject(parent), host_(host)
{
    fileDataSourceTimer_.setSingleShot(true);
    connect(&fileDataSourceTimer_, &QTimer::timeout, this,
            &ClaimFileSource::FileDataSourceTimerTimer);
}

void ClaimFileSource::Activate()
{
    ArmTimer(kPollMilliseconds);
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
    // Polling resumes after an error only when the user starts the source again.
    try {
        SendClaimFiles();
        ScheduleNextPass();
    } catch (const std::exception& error) {
        host_.ShowError(error.what());
    }
}

void ClaimFileSource::ScheduleNextPass()
{
    ControllerState& state = host_.State();
    if (state.cancelRequested) {
        host_.SetStatusText("Awaiting user input to continue (Cancel clicked).");
        state.failureCount = 0;
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
    for (const QString& name : ListClaimFiles(folder, ExtractFileName(mask))) {
        try {
            if (!SendClaimFile(pass, folder, name.toStdString()))
                break;
        } catch (const std::exception& error) {
            if (HandleSendError(pass, error.what()))
                throw;
            break;
        }
    }
    FinishPass(pass);
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
    pass.foundFile = true;
    LogMsg("Processing file:  '%s'", name.c_str());
    ++pass.fileCounter;
    pass.current = CurrentClaim{};
    pass.current.name = name;
    pass.current.path = folder + name;

    PrepareClaim(pass.current, ReadClaimFile(pass));
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
    try {
        WriteResponseFile(state, pass.current.path, reply, pass.current.hadStx,
                          pass.current.hadEtx, pass.current.lrcByte);
    } catch (const std::exception&) {
        pass.fileError = true;
        throw;
    }
    LogMsg("Finished processing file:  '%s'", name.c_str());
    return true;
}

std::string ClaimFileSource::ReadClaimFile(Pass& pass)
{
    const std::string& path = pass.current.path;
    int fd = fileio::OpenForReading(path);
    if (fd < 0) {
        int error = errno;
        pass.fileError = true;
        LogMsg("fopen(%s) error(%d)", path.c_str(), error);
        throw ClaimError("Could not open file '" + path + "'");
    }
    std::string data;
    int error = fileio::ReadToEnd(fd, data);
    ::close(fd);
    if (error != 0) {
        pass.fileError = true;
        LogMsg("Failure reading file.  Error(%d)", error);
        throw ClaimError(FormatText("Error(%d) reading file '%s'", error, path.c_str()));
    }
    return data;
}

void ClaimFileSource::PrepareClaim(CurrentClaim& current, std::string data)
{
    while (!data.empty() && IsLineEnd(data.back()))
        data.pop_back();
    if (GetClaimFileTrimAtNewline()) {
        size_t lineEnd = data.find_first_of("\r\n");
        if (lineEnd != std::string::npos) {
            LogMsg("Truncating data at newline, pos(%d), Len(%d)", static_cast<int>(lineEnd) + 1,
                   static_cast<int>(data.size()));
            data.resize(lineEnd);
        }
    }

    host_.SetStatusText("Preparing to send file:  '" + current.name + "'");
    std::string& claim = current.claim = data;
    if (!claim.empty() && claim.front() == kStx) {
        current.hadStx = true;
        claim.erase(0, 1);
    }
    if (!claim.empty() && claim.back() == kEtx) {
        current.hadEtx = true;
        claim.pop_back();
    } else if (claim.size() >= 2 && claim[claim.size() - 2] == kEtx) {
        current.hadEtx = true;
        current.lrcByte = static_cast<unsigned char>(claim.back());
        claim.resize(claim.size() - 2);
    }
    if (claim.empty())
        throw ClaimError("Claim file '" + current.path + "' holds no claim data");
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
