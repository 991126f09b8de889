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
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (IsSwitch(arg, "config") && i + 1 < args.size()) {
            ++i;  // the name
        } else if (IsSwitch(arg, "nosecurity")) {
            line.noSecurity = true;
        } else if (IsSwitch(arg, "notrayicon")) {
            line.noTrayIcon = true;
        } else if (IsSwitch(arg, "headless")) {
            line.headless = true;
        } else if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--version" || arg == "-V") {
            line.version = true;
        } else if (arg == "--check-config") {
            line.checkConfig = true;
        } else if (arg == "--print-settings") {
            line.printSettings = true;
        } else if (!line.unknown) {
            line.unknown = arg;
        }
    }
    return line;
}

std::string UsageText()
{
    return R"(Usage: corvane [/config NAME] [/nosecurity] [/notrayicon] [-headless]
       corvane [/config NAME] --check-config | --print-settings
       corvane --help | --version

Corvane carries a pharmacy's NCPDP claims to the Tuq Network claims switch
and the responses back, from claim files, a serial line or a TCP port.

Switches (each also with "-" for "/", in any case):
  /config NAME   serve the named configuration (one Corvane per name)
  /nosecurity    no TLS and no Twofish toward the switch (testing only)
  /notrayicon    no icon in the notification area
  -headless      no window, even where a display is available
  --help, -h     this text
  --version, -V  the version of Corvane and of OpenSSL, Qt and Nettle

  --check-config    check the stored settings as the Options dialog does,
                    one line per problem, and end
  --print-settings  print every setting in effect, in the settings-file
                    format, defaults filled in, passwords not shown, and end

Environment:
  CORVANE_SETTINGS   the settings file (default:
                     $XDG_CONFIG_HOME/Tuq Network/Corvane.reg, else
                     ~/.config/Tuq Network/Corvane.reg)
  DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM
                     without a display that can be reached Corvane runs
                     headless
  XDG_RUNTIME_DIR    where the lock of each configuration is kept

Files:
  the settings file above; the general log ~/TuqData/TuqLog.txt and the
  network log ~/TuqData/TuqNetLog.txt (settings DebugFileName and
  NetworkDebugFileName); every setting is described in
  /usr/share/doc/corvane/settings.md

Signals:
  SIGTERM, SIGINT   exit in order
  SIGHUP            re-read the settings and restart the data source

Exit status:
  0  after an orderly exit, or when the Corvane already running for the
     configuration was asked to show its window
  1  Corvane could not run (the reason is on standard error): another
     Corvane serves the configuration, or the settings file cannot be read;
     with --check-config: the settings have problems
  2  a wrong command line; with --check-config: the settings file cannot
     be read
)";
}
