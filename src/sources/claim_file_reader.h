#pragma once
#include <sys/types.h>

#include <ctime>
#include <string>

// Reads one claim file from a folder that other accounts may write to. Only
// a regular file counts: a symbolic link, a FIFO or a device is refused
// without being followed or blocking, and no more than a claim can hold is
// read.

// A claim of the relay's largest size may still carry its VISA framing and a
// line end: STX, ETX, LRC, CR and LF.
constexpr size_t kMaxClaimFileSize = 8192 + 5;

// Which file was read, so that a later look can tell whether it changed.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const FileIdentity& other) const;
};

struct ClaimFileContent {
    bool ok = false;
    std::string data;
    FileIdentity identity;
    // When not ok: why the file is not a claim, for people; and the system
    // error number when one was reported, else 0.
    std::string reason;
    int error = 0;
};

ClaimFileContent ReadClaimFile(const std::string& path);

// A claim file's data once its trailing line ends and its VISA framing (a
// leading STX, a trailing ETX, an LRC byte after the ETX) are taken off.
struct UnframedClaim {
    std::string claim;
    bool hadStx = false;
    bool hadEtx = false;
    unsigned char lrcByte = 0;           // 0: none
    size_t cutAt = std::string::npos;    // where the data was cut at a line end
    size_t lengthBeforeCut = 0;
};

// trimAtNewline: cut at the first CR or LF left after the trailing ones.
UnframedClaim UnframeClaim(std::string data, bool trimAtNewline);

// The identity of the file at path without following a link; false when
// there is no such entry.
bool StatIdentity(const std::string& path, FileIdentity& identity);
