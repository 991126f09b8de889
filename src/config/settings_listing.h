#pragma once
#include <string>

// corvane --print-settings: every setting of the configuration in the
// settings-file format. Values the file holds come as written; under each
// key the missing ones follow with their defaults after a "; Defaults" line.
// Passwords are never shown. Values the program does not know are listed as
// comments, so that a misspelt name stands out. Throws SettingsError or
// SettingsFileError when the file cannot be read.
std::string SettingsInEffect();
