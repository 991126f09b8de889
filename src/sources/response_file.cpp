#include "sources/response_file.h"

#include "base/control_chars.h"
#include "base/claim_error.h"
#include "base/format_text.h"
#include "base/general_log.h"
#include "base/system_path.h"
#include "config/settings.h"
#include "sources/claim_file_reader.h"
#include "sources/file_io.h"
#include "base/lrc.h"
#include "sources/path_ops.h"

#include <QDateTime>
#include <cerrno>
#include <unistd.h>

namespace {

// Message formats for a failed rename, by error kind. The first three take
// the two paths, "other" the error number and the two paths.
struct RenameTexts {
    const char* exists;
    const char* noEntry;
    const char* crossDevice;
    const char* other;
};

const RenameTexts kResponseRename = {
    "Error renaming temporary response file '%s' to '%s'; Response 'file already exists'",
    "Error renaming temporary response file '%s' to '%s'; 'No such file or directory' error",
    "Error renaming temporary response file '%s' to '%s'; 'Not same device' error",
    "Error(%d) renaming temporary response file '%s' to '%s'",
};

// Across devices the claim is copied instead, so that kind has no text.
const RenameTexts kArchiveRename = {
    "Error archiving claim file '%s' to '%s'; 'File already exists'",
    "Error archiving claim file '%s' to '%s'; 'No such file or directory' error",
    nullptr,
    "Error(%d) archiving claim file '%s' to '%s'",
};

const RenameTexts kArchiveCopyRename = {
    "Error renaming temporary claim archive file '%s' to '%s'; 'File already exists'",
    "Error renaming temporary claim archive file '%s' to '%s'; 'No such file or directory' error",
    "Error renaming temporary claim archive file '%s' to '%s'; 'Not same device' error",
    "Error(%d) renaming temporary claim archive file '%s' to '%s'",
};

std::string RenameFailure(int error, const RenameTexts& texts, const std::string& from,
                          const std::string& to)
{
    const char* format = error == EEXIST   ? texts.exists
                         : error == ENOENT ? texts.noEntry
                         : error == EXDEV  ? texts.crossDevice
                                           : nullptr;
    if (format)
        return FormatText(format, from.c_str(), to.c_str());
    return FormatText(texts.other, error, from.c_str(), to.c_str());
}

[[noreturn]] void LogAndThrow(const std::string& text)
{
    LogMsg("%s", text.c_str());
    throw ClaimError(text);
}

std::string ResponseContent(const std::string& reply, bool hadStx, bool hadEtx,
                            unsigned char lrcByte)
{
    std::string content;
    if (hadStx)
        content += kStx;
    content += reply;
    if (hadEtx)
        content += kEtx;
    if (lrcByte != 0)
        content += static_cast<char>(ComputeLrc(content));
    return content;
}

std::string ResponseFolder(const std::string& claimPath)
{
    std::string folder = GetResponseFileFolder();
    if (folder.empty())
        folder = ExtractFolder(claimPath);
    return IncludeTrailingDelimiter(folder);
}

// How a temporary name looks, for a message about one that could not be
// made: six letters or digits stand in the Xs.
std::string TempPattern(const std::string& folder)
{
    return folder + "TuqNXXXXXX";
}

void CreateTempFile(ResponseFile& file)
{
    int fd = fileio::CreateUniqueFile(file.folder, file.tempPath);
    if (fd < 0) {
        int error = errno;
        file.tempPath.clear();
        LogAndThrow(FormatText("Error(%d) opening temporary response file '%s'", error,
                               TempPattern(file.folder).c_str()));
    }
    ::close(fd);
}

void WriteResponse(ResponseFile& file, const std::string& content)
{
    if (file.tempPath.empty())
        CreateTempFile(file);
    int error = fileio::WriteWholeFile(file.tempPath, content);
    if (error != 0) {
        LogMsg("Error(%d) writing to temporary response file '%s'.", error, file.tempPath.c_str());
        std::string text = FormatText("Error(%d) writing to temporary response file '%s'", error,
                                      file.tempPath.c_str());
        DiscardResponseFile(file);
        throw ClaimError(text);
    }
    if (fileio::FileExists(file.path))
        fileio::DeleteFile(file.path);
    error = fileio::RenameNoReplace(file.tempPath, file.path);
    if (error != 0) {
        std::string text = RenameFailure(error, kResponseRename, file.tempPath, file.path);
        LogMsg("%s", text.c_str());
        DiscardResponseFile(file);
        throw ClaimError(text);
    }
    file.tempPath.clear();
    fileio::SyncFolder(file.folder);
    LogMsg("Response written to '%s'", file.path.c_str());
}

// With the claim's own extension as response extension the response would
// overwrite the claim and then be deleted or archived in its place. Folders
// are compared as the file system sees them: "claims//", "claims/./" and a
// link to the claim folder are all the claim folder.
void RefuseToReplaceClaim(const std::string& claimPath, const ResponseFile& file)
{
    if (ExtractFileName(claimPath) != ExtractFileName(file.path))
        return;
    std::string claimFolder = ExtractFolder(claimPath);
    if (fileio::SameFolder(claimFolder.empty() ? "." : claimFolder,
                           file.folder.empty() ? "." : file.folder))
        LogAndThrow(FormatText("The response file '%s' would replace its claim file",
                               file.path.c_str()));
}

std::string CouldNotWrite(const std::string& responsePath, const ClaimError& error)
{
    return "Could not write response file '" + responsePath + "'\n\nClaimError Error:\n  " +
           error.what();
}

ResponseFile NameResponseFile(const std::string& claimPath)
{
    ResponseFile file;
    file.folder = ResponseFolder(claimPath);
    file.path = file.folder + ChangeExtension(ExtractFileName(claimPath), GetResponseFileExtension());
    return file;
}

void DeleteClaim(ControllerState& state, const std::string& claimPath)
{
    if (fileio::DeleteFile(claimPath) != 0) {
        state.CountFailure();
        LogAndThrow(FormatText("Could not delete processed claim file '%s'.", claimPath.c_str()));
    }
}

// RX0001.clm -> RX0001_20041105142233017.clm, from the local time.
std::string TimestampedPath(const std::string& path)
{
    QDateTime now = QDateTime::currentDateTime();
    QDate date = now.date();
    QTime time = now.time();
    return ChangeExtension(
        path, FormatText("_%.4d%.2d%.2d%.2d%.2d%.2d%.3d%s", date.year(), date.month(),
                         date.day(), time.hour(), time.minute(), time.second(), time.msec(),
                         ExtractExtension(path).c_str()));
}

std::string ReadClaimForArchive(const std::string& claimPath)
{
    ClaimFileContent content = ReadClaimFile(claimPath);
    if (!content.ok)
        LogAndThrow(FormatText("Error(%d) reading claim file '%s' for archival operation: %s",
                               content.error, claimPath.c_str(), content.reason.c_str()));
    return content.data;
}

// The archive folder is on another device: copy through a temporary file,
// and delete the claim only once its copy is safely in place.
void CopyToArchive(ControllerState& state, const std::string& claimPath,
                   const std::string& archiveFolder, const std::string& archivePath)
{
    std::string data = ReadClaimForArchive(claimPath);
    std::string tempPath;
    int fd = fileio::CreateUniqueFile(archiveFolder, tempPath);
    if (fd < 0) {
        int error = errno;
        LogAndThrow(FormatText("Error(%d) opening temporary claim archive file '%s'", error,
                               TempPattern(archiveFolder).c_str()));
    }
    ::close(fd);
    int error = fileio::WriteWholeFile(tempPath, data);
    if (error != 0) {
        std::string text = FormatText("Error(%d) writing to temporary claim archive file '%s'",
                                      error, tempPath.c_str());
        LogMsg("%s", text.c_str());
        fileio::DeleteFile(tempPath);
        throw ClaimError(text);
    }
    error = fileio::RenameNoReplace(tempPath, archivePath);
    if (error != 0) {
        std::string text = RenameFailure(error, kArchiveCopyRename, tempPath, archivePath);
        LogMsg("%s", text.c_str());
        fileio::DeleteFile(tempPath);
        throw ClaimError(text);
    }
    fileio::SyncFolder(archiveFolder);
    DeleteClaim(state, claimPath);
}

void ArchiveClaim(ControllerState& state, const std::string& claimPath,
                  const std::string& archiveFolder)
{
    std::string archivePath = archiveFolder + ExtractFileName(claimPath);
    if (fileio::FileExists(archivePath)) {
        if (GetClaimFileArchiveTimestamp()) {
            archivePath = TimestampedPath(archivePath);
        } else if (fileio::DeleteFile(archivePath) != 0) {
            state.CountFailure();
            LogAndThrow(FormatText("Could not delete existing archive claim file '%s'.",
                                   archivePath.c_str()));
        }
    }
    int error = fileio::RenameNoReplace(claimPath, archivePath);
    if (error == EXDEV)
        CopyToArchive(state, claimPath, archiveFolder, archivePath);
    else if (error != 0)
        LogAndThrow(RenameFailure(error, kArchiveRename, claimPath, archivePath));
    LogMsg("Claim file '%s' archived to '%s'", claimPath.c_str(), archivePath.c_str());
}

}  // namespace

ResponseFile CreateResponseFile(ControllerState& state, const std::string& claimPath)
{
    ResponseFile file = NameResponseFile(claimPath);
    try {
        RefuseToReplaceClaim(claimPath, file);
        CreateTempFile(file);
    } catch (const ClaimError& error) {
        state.CountFailure();
        throw ClaimError(CouldNotWrite(file.path, error));
    }
    return file;
}

void DiscardResponseFile(ResponseFile& file)
{
    if (!file.tempPath.empty())
        fileio::DeleteFile(file.tempPath);
    file.tempPath.clear();
}

bool StoreResponse(ControllerState& state, const std::string& claimPath, const std::string& reply,
                   bool hadStx, bool hadEtx, unsigned char lrcByte, ResponseFile* prepared)
{
    ResponseFile file = prepared ? *prepared : NameResponseFile(claimPath);
    if (prepared)
        prepared->tempPath.clear();
    if (!fileio::FileExists(claimPath)) {
        LogMsg("Response file not written.  Claim file already deleted:  '%s'", claimPath.c_str());
        DiscardResponseFile(file);
        return false;
    }
    try {
        RefuseToReplaceClaim(claimPath, file);
        WriteResponse(file, ResponseContent(reply, hadStx, hadEtx, lrcByte));
    } catch (const ClaimError& error) {
        DiscardResponseFile(file);
        state.CountFailure();
        throw ClaimError(CouldNotWrite(file.path, error));
    }
    return true;
}

void RetireClaim(ControllerState& state, const std::string& claimPath)
{
    std::string archiveFolder = GetClaimFileArchiveFolder();
    if (archiveFolder.empty())
        DeleteClaim(state, claimPath);
    else
        ArchiveClaim(state, claimPath, IncludeTrailingDelimiter(archiveFolder));
}

void WriteResponseFile(ControllerState& state, const std::string& claimPath,
                       const std::string& reply, bool hadStx, bool hadEtx,
                       unsigned char lrcByte)
{
    bool stored = StoreResponse(state, claimPath, reply, hadStx, hadEtx, lrcByte);
    state.failureCount = 0;
    if (stored)
        RetireClaim(state, claimPath);
}
