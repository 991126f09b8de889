#pragma once
#include <string>

// Binary file access for claim, response and archive files. Paths are the
// program's texts; every call converts them for the file system. Failures
// return the system error number, because the texts shown to users carry it.

namespace fileio {

bool FileExists(const std::string& path);
// 0 when deleted, else the error number.
int DeleteFile(const std::string& path);

// Replaces the content of an existing file (never through a link) with data
// and flushes it to the device; 0 or the error number.
int WriteWholeFile(const std::string& path, const std::string& data);

// Creates a new file folder + "TuqN" + six characters that no file in the
// folder has yet, open for writing, with the usual mode under the umask.
// Returns the descriptor and sets path, or -1 with errno set.
int CreateUniqueFile(const std::string& folder, std::string& path);

// Renames without ever replacing an existing target (EEXIST instead);
// 0 or the error number.
int RenameNoReplace(const std::string& from, const std::string& to);

// Both paths name the same folder (device and inode), however spelt.
bool SameFolder(const std::string& first, const std::string& second);

// Makes the folder's entries (a rename into it) durable.
void SyncFolder(const std::string& folder);

}  // namespace fileio
