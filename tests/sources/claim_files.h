#pragma once
#include <string>
#include <vector>

// Small file helpers for the claim-file tests.

void WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
// Names of the entries of a folder, sorted.
std::vector<std::string> NamesIn(const std::string& folder);
// Names in the folder that look like our temporary files.
std::vector<std::string> TemporaryFilesIn(const std::string& folder);
