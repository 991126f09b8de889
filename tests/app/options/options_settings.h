#pragma once
#include "test_env.h"

#include <map>
#include <string>

// A complete configuration in a test's home: claim files in a folder that
// exists, host 1 by Twofish over the local network, the relay on an unused
// loopback port, and COM1..COM64 mapped to nowhere. Values are registry
// export right-hand sides ("\"text\"", "dword:00000001").
struct OptionsSettings {
    explicit OptionsSettings(const TestHome& home);

    std::map<std::string, std::string> main;
    std::map<std::string, std::string> serial;
    std::map<std::string, std::string> network;
    std::map<std::string, std::string> ports;
    std::string claimFolder;  // exists

    // Writes the settings file with this configuration only.
    void Write(const TestHome& home, const std::string& configName = "") const;
};

std::string Text(const std::string& value);
std::string Dword(int value);
