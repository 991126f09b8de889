// settings-reference: writes docs/settings.md from the table of settings, or
// with --check FILE says whether FILE is still what it would write.
#include "config/settings_table.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

const char* const kIntroduction = R"(# Settings reference

<!-- Written by `make settings-doc` from the table of settings in
src/config/settings_table.h; a test fails when the two differ. -->

Corvane keeps its settings in one file per user, in the registry export
format: `~/.config/Tuq Network/Corvane.reg` (or
`$XDG_CONFIG_HOME/Tuq Network/Corvane.reg`; the variable `CORVANE_SETTINGS`
names another file). A Windows export of the key
`HKEY_CURRENT_USER\Software\Tuq Network\Corvane` can be used as it is, and
`docs/Corvane.reg.example` shows a configuration for each data source.
`corvane --print-settings` prints the settings in effect, defaults filled in.

A value that is missing takes its default. Names compare without regard to
case. The types, as the file writes them:

| Type | Written as | Notes |
|---|---|---|
| text | `"DataSourceType"="File"` | a backslash or quote inside is written `\\` or `\"` |
| number | `"InboundPort"=dword:00001a0e` or `"InboundPort"="6670"` | **`dword:` values are hexadecimal**: `dword:00001a0e` is 6670; a text is read as a decimal number, and a text that is none reads as the default |
| flag | `"Lrc"="1"` | `"1"` on, `"0"` off; a number reads the same (not 0 is on) |
| real | `"SPEnqPause"=hex:00,00,00,00,00,00,e0,3f` | the eight bytes of a little-endian double (this one is 0.5) |
| block | `"TapiConfig"=hex:49,6e,...` | up to 1024 bytes |

Keys:

| Key | Holds |
|---|---|
| `HKEY_CURRENT_USER\Software\Tuq Network\Corvane` | the main settings of the default configuration |
| `...\Corvane\NAME` | the main settings of the configuration NAME (`corvane /config NAME`) |
| `...\InputSerialPort` under either | the serial data source |
| `...\Network` under either | dial-up networking |
| `...\Ports` under either (the configuration's first, then the shared one) | `"COM1"="/dev/ttyUSB0"`: the device of each `COM<n>`; without an entry `COM<n>` is `/dev/ttyS<n-1>` |
)";

std::string TypeName(SettingType type)
{
    switch (type) {
    case SettingType::Text:
        return "text";
    case SettingType::Number:
        return "number";
    case SettingType::Flag:
        return "flag";
    case SettingType::Real:
        return "real";
    default:
        return "block";
    }
}

std::string KeyName(SettingsSection section)
{
    switch (section) {
    case SettingsSection::InputSerialPort:
        return "`...\\InputSerialPort`";
    case SettingsSection::Network:
        return "`...\\Network`";
    default:
        return "the main key";
    }
}

std::string DefaultText(const SettingDefinition& setting)
{
    if (setting.noFallback)
        return "none: " + std::string(setting.fallbackNote);
    if (!setting.fallbackNote.empty())
        return std::string(setting.fallbackNote);
    if (setting.type == SettingType::Flag)
        return setting.fallback == "0" ? "0 (off)" : "1 (on)";
    if (setting.type == SettingType::Text)
        return setting.fallback.empty() ? "empty" : "`\"" + std::string(setting.fallback) + "\"`";
    return std::string(setting.fallback);
}

// Table cells end at "|".
std::string Cell(std::string_view text)
{
    std::string cell;
    for (char c : text)
        cell += c == '|' ? std::string("\\|") : std::string(1, c);
    return cell;
}

std::string Row(const SettingDefinition& setting)
{
    std::string meaning(setting.meaning);
    if (!setting.values.empty())
        meaning += " Values: " + std::string(setting.values) + ".";
    return "| `" + std::string(setting.name) + "` | " + TypeName(setting.type) + " | " +
           Cell(DefaultText(setting)) + " | " + Cell(meaning) + " |\n";
}

std::string Reference()
{
    std::string text = kIntroduction;
    std::string_view group;
    for (const SettingDefinition& setting : kSettingsTable) {
        if (setting.group != group) {
            group = setting.group;
            text += "\n## " + std::string(group) + "\n\nIn " + KeyName(setting.section) +
                    ".\n\n| Setting | Type | Default | Meaning |\n|---|---|---|---|\n";
        }
        text += Row(setting);
    }
    return text;
}

int Check(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream stored;
    stored << file.rdbuf();
    if (file && stored.str() == Reference())
        return 0;
    std::fprintf(stderr, "%s is not what the table of settings gives: run 'make settings-doc'\n", path);
    return 1;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && std::string(argv[1]) == "--check")
        return Check(argv[2]);
    if (argc != 1) {
        std::fprintf(stderr, "usage: settings-reference [--check FILE]\n");
        return 2;
    }
    std::cout << Reference();
    return 0;
}
