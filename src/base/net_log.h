#pragma once
#include <string>

// The network communications log, written by the relay thread (and by the
// local reject builders). Lines exist only while a path is set.

// Returns 0 when written or when no path is set, -1 when the file cannot be opened.
int mxLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Sets the log path to a copy of path, or clears it when path is null or empty.
int mxLogFile(const char* path);
