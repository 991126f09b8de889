#pragma once
#include <optional>
#include <string>

// Re-reads the five log settings from the settings file into the log
// writers' cache. A file that cannot be read leaves the defaults in force
// (general log off) and returns the store's error, naming the file and the
// line; that error is also appended to the general log at its default path,
// once for each distinct error.
std::optional<std::string> LoadLogSettings();
