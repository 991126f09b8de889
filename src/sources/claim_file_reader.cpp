#include "sources/claim_file_reader.h"

#include "base/control_chars.h"
#include "base/format_text.h"
#include "base/system_path.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FileIdentity IdentityOf(const struct stat& info)
{
    return FileIdentity{info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

ClaimFileContent Refused(const std::string& reason, int error = 0)
{
    ClaimFileContent content;
    content.reason = reason;
    content.error = error;
    return content;
}

std::string SystemReason(const char* action, int error)
{
    return FormatText("Error(%d) %s it: %s", error, action, std::strerror(error));
}

// Reads up to limit + 1 bytes, so that a longer file shows itself.
int ReadAtMost(int fd, size_t limit, std::string& data)
{
    data.resize(limit + 1);
    size_t done = 0;
    while (done < data.size()) {
        ssize_t got = ::read(fd, data.data() + done, data.size() - done);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<size_t>(got);
    }
    data.resize(done);
    return 0;
}

}  // namespace

bool FileIdentity::operator==(const FileIdentity& other) const
{
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

bool StatIdentity(const std::string& path, FileIdentity& identity)
{
    struct stat info {};
    if (::lstat(ToSystemPath(path).c_str(), &info) != 0)
        return false;
    identity = IdentityOf(info);
    return true;
}

ClaimFileContent ReadClaimFile(const std::string& path)
{
    // Looking before opening keeps open() away from devices, where opening
    // alone can have effects (a serial line raises DTR).
    std::string systemPath = ToSystemPath(path);
    struct stat before {};
    if (::lstat(systemPath.c_str(), &before) != 0)
        return Refused(SystemReason("looking at", errno), errno);
    if (S_ISLNK(before.st_mode))
        return Refused("it is a symbolic link, not a claim file");
    if (!S_ISREG(before.st_mode))
        return Refused("it is not a regular file");

    int fd = ::open(systemPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int error = errno;
        if (error == ELOOP)
            return Refused("it is a symbolic link, not a claim file");
        return Refused(SystemReason("opening", error), error);
    }
    // The entry may have been replaced between the look and the open.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return Refused("it is not a regular file");
    }
    ClaimFileContent content;
    int error = ReadAtMost(fd, kMaxClaimFileSize, content.data);
    ::close(fd);
    if (error != 0)
        return Refused(SystemReason("reading", error), error);
    if (content.data.size() > kMaxClaimFileSize)
        return Refused(FormatText("it is longer than a claim can be (%d bytes)",
                                  static_cast<int>(kMaxClaimFileSize)));
    content.ok = true;
    content.identity = IdentityOf(info);
    return content;
}

UnframedClaim UnframeClaim(std::string data, bool trimAtNewline)
{
    UnframedClaim result;
    while (!data.empty() && (data.back() == '\r' || data.back() == '\n'))
        data.pop_back();
    if (trimAtNewline) {
        size_t lineEnd = data.find_first_of("\r\n");
        if (lineEnd != std::string::npos) {
            result.cutAt = lineEnd;
            result.lengthBeforeCut = data.size();
            data.resize(lineEnd);
        }
    }
    std::string& claim = result.claim = std::move(data);
    if (!claim.empty() && claim.front() == kStx) {
        result.hadStx = true;
        claim.erase(0, 1);
    }
    if (!claim.empty() && claim.back() == kEtx) {
        result.hadEtx = true;
        claim.pop_back();
    } else if (claim.size() >= 2 && claim[claim.size() - 2] == kEtx) {
        result.hadEtx = true;
        result.lrcByte = static_cast<unsigned char>(claim.back());
        claim.resize(claim.size() - 2);
    }
    return result;
}
