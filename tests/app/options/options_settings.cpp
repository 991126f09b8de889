#include "options_settings.h"
#include "sim_support.h"

#include <QDir>
#include <cstdio>

namespace {

std::string Escaped(const std::string& value)
{
    std::string escaped;
    for (char c : value) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string Section(const std::string& key, const std::map<std::string, std::string>& values)
{
    std::string text = "[" + key + "]\n";
    for (const auto& [name, value] : values)
        text += "\"" + name + "\"=" + value + "\n";
    return text + "\n";
}

}  // namespace

std::string Text(const std::string& value)
{
    return "\"" + Escaped(value) + "\"";
}

std::string Dword(int value)
{
    char text[32];
    std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(value));
    return text;
}

OptionsSettings::OptionsSettings(const TestHome& home)
{
    claimFolder = home.path() + "/claims";
    QDir().mkpath(QString::fromStdString(claimFolder));
    main = {
        {"DataSourceType", Text("File")},
        {"ClaimFileMask", Text(claimFolder + "/*.clm")},
        {"ResponseFileExtension", Text(".rsp")},
        {"EnableNetwork1", Text("1")},
        {"OutboundHostName1", Text("127.0.0.1")},
        {"OutboundPort1A", Dword(6101)},
        {"OutboundPort1B", Dword(6102)},
        {"EnableOutboundTwofishSecurity", Text("1")},
        {"InboundHostName", Text("127.0.0.1")},
        {"InboundPort", Dword(sim::UnusedLoopbackPort())},
        {"InboundSocketFormat", Dword(1)},
        {"SystemID", Text("PHARM01")},
    };
    network = {{"NetConnectType", Dword(1)}};
    for (int n = 1; n <= 64; ++n)
        ports["COM" + std::to_string(n)] = Text(home.path() + "/no-such-tty" + std::to_string(n));
}

void OptionsSettings::Write(const TestHome& home, const std::string& configName) const
{
    std::string key = "HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane";
    if (!configName.empty())
        key += "\\" + configName;
    home.writeSettings("REGEDIT4\n\n" + Section(key, main) + Section(key + "\\InputSerialPort", serial) +
                       Section(key + "\\Network", network) + Section(key + "\\Ports", ports));
}
