#pragma once
#include <string>

// Path texts as the program keeps them: "\" and "/" both separate folders.
// Only FolderExists and ForceFolders touch the file system.

// Up to and including the last delimiter; empty when there is none.
std::string ExtractFolder(const std::string& path);
// What follows the last delimiter.
std::string ExtractFileName(const std::string& path);
// From the last "." of the file name to the end; empty when it has none.
std::string ExtractExtension(const std::string& path);
// The path without its extension, followed by suffix.
std::string ChangeExtension(const std::string& path, const std::string& suffix);
// Appends "/" to a non-empty path that does not end in a delimiter.
std::string IncludeTrailingDelimiter(const std::string& path);
// The path without trailing delimiters; a path of delimiters only keeps the
// first one, so the root folder stays the root folder.
std::string StripTrailingDelimiters(const std::string& path);

bool FolderExists(const std::string& path);
// Creates the folder and any missing parents; true when it exists afterwards.
bool ForceFolders(const std::string& path);
