#include "app/command_line.h"

#include <algorithm>
#include <cctype>

bool IsSwitch(const std::string& arg, const char* name)
{
    std::string lower = arg;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == std::string("/") + name || lower == std::string("-") + name;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args)
{
    CommandLine line;
    // The last argument is never taken as "/config": the name must follow it.
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (IsSwitch(args[i], "config")) {
            line.configName = args[i + 1];
            break;
        }
    }
    for (const std::string& arg : args) {
        line.noSecurity = line.noSecurity || IsSwitch(arg, "nosecurity");
        line.noTrayIcon = line.noTrayIcon || IsSwitch(arg, "notrayicon");
        line.headless = line.headless || IsSwitch(arg, "headless");
        line.checkConfig = line.checkConfig || arg == "--check-config";
    }
    return line;
}
