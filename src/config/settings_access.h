#pragma once
#include "config/settings.h"

#include <optional>
#include <string>
#include <vector>

// Typed reads and writes of single values, with the read rules of each type.
// Every call reads (and a write rewrites) the settings file once.

// Full key paths: HKEY_CURRENT_USER\Software\Tuq Network\Corvane[\<config>].
std::string BaseKeyPath();
std::string MainKeyPath();
std::string SectionKeyPath(SettingsSection section);

bool ValueExistsAt(const std::string& keyPath, const std::string& name);

// Text values; any other stored type is an invalid data type.
std::optional<std::string> ReadTextAt(const std::string& keyPath, const std::string& name);
std::string ReadText(SettingsSection section, const std::string& name, const std::string& fallback);
// Number values as they are, text values as decimal numbers (fallback when
// the text is not one).
int ReadInt(SettingsSection section, const std::string& name, int fallback);
bool ReadBool(SettingsSection section, const std::string& name, bool fallback);
// An 8-byte little-endian IEEE double.
double ReadReal(SettingsSection section, const std::string& name, double fallback);
// At most 1024 bytes; nothing when absent.
std::optional<std::vector<uint8_t>> ReadBinary(SettingsSection section, const std::string& name);

void WriteTextAt(const std::string& keyPath, const std::string& name, const std::string& value);
void WriteText(SettingsSection section, const std::string& name, const std::string& value);
// Stays a text value when it is stored as one.
void WriteInt(SettingsSection section, const std::string& name, int value);
// The text "0" or "1".
void WriteBool(SettingsSection section, const std::string& name, bool value);
void WriteReal(SettingsSection section, const std::string& name, double value);
// How a real value is stored: the double's eight bytes, little-endian.
std::vector<uint8_t> RealBytes(double value);
void WriteBinary(SettingsSection section, const std::string& name,
                 const std::vector<uint8_t>& value);
void DeleteValue(SettingsSection section, const std::string& name);
