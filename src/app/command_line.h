#pragma once
#include <optional>
#include <string>
#include <vector>

// The switches of the command line. Matching ignores case; every switch has a
// "/" and a "-" form.
struct CommandLine {
    std::optional<std::string> configName; // the argument after the first "/config"
    bool noSecurity = false;
    bool noTrayIcon = false;
    bool headless = false;
    bool help = false;         // --help, -h
    bool version = false;      // --version, -V
    bool checkConfig = false;  // --check-config: check the settings and end
    bool printSettings = false;  // --print-settings: print the settings in effect and end
    // The first argument that is none of the above, if any.
    std::optional<std::string> unknown;
};

// What --help prints.
std::string UsageText();

// args excludes the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// True when arg, lower-cased, is "/name" or "-name".
bool IsSwitch(const std::string& arg, const char* name);
