#pragma once
#include <string>
#include <vector>

// Appends whole lines to a file that is opened and closed for this call. Each
// line leaves in a single write() on an O_APPEND descriptor, so concurrent
// writers (threads or processes) never interleave inside a line.
// A new file is readable and writable by its owner only. Returns false when
// the file cannot be opened (folders are never created).
bool AppendLines(const std::string& path, const std::vector<std::string>& lines);
