#include "transports/ppp_links.h"

#include <QStandardPaths>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <net/if.h>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace fs = std::filesystem;

namespace {

std::string FromEnvironment(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// One escape of a quoted or unquoted word, as pppd's option reader takes it.
// at points after the backslash; returns the character and moves at on.
char Unescape(const std::string& text, size_t& at)
{
    char c = text[at++];
    switch (c) {
    case 'b': return '\b';
    case 'f': return '\f';
    case 'n': return '\n';
    case 'r': return '\r';
    case 's': return ' ';
    case 't': return '\t';
    default: break;
    }
    if (c >= '0' && c <= '7') {
        int value = c - '0';
        for (int digits = 1; digits < 3 && at < text.size() && text[at] >= '0' && text[at] <= '7'; ++digits)
            value = value * 8 + (text[at++] - '0');
        return static_cast<char>(value);
    }
    return c;
}

bool IsDeviceWord(const std::string& word)
{
    return word.rfind("/dev/", 0) == 0 || word.rfind("tty", 0) == 0;
}

std::string DevicePath(const std::string& word)
{
    return word.rfind("/dev/", 0) == 0 ? word : "/dev/" + word;
}

bool IsShellSafe(const std::string& word)
{
    return !word.empty() && std::all_of(word.begin(), word.end(), [](unsigned char c) {
        return std::isalnum(c) || std::string_view("_./:=+-,@%").find(static_cast<char>(c)) != std::string_view::npos;
    });
}

std::string ShellQuoted(const std::string& word)
{
    if (IsShellSafe(word))
        return word;
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool IsAlive(pid_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// A link pid file: the pid, and the interface once pppd has one.
bool ReadLinkFile(const fs::path& file, PppLink& link)
{
    std::istringstream lines(ReadText(file));
    std::string pidLine;
    if (!std::getline(lines, pidLine))
        return false;
    char* end = nullptr;
    long pid = std::strtol(pidLine.c_str(), &end, 10);
    if (end == pidLine.c_str() || pid <= 0)
        return false;
    link.pid = static_cast<pid_t>(pid);
    std::getline(lines, link.interface);
    return true;
}

bool InterfaceUp(const std::string& interface)
{
    if (interface.empty() || interface.find('/') != std::string::npos)
        return false;
    std::string flags = ReadText(fs::path(SysNetDir()) / interface / "flags");
    return !flags.empty() && (std::strtoul(flags.c_str(), nullptr, 16) & IFF_UP) != 0;
}

} // namespace

std::string PppProgram()
{
    std::string named = FromEnvironment("CORVANE_PPPD", "");
    if (!named.empty())
        return named;
    return QStandardPaths::findExecutable("pppd").toStdString();
}

std::string PppPeersDir() { return FromEnvironment("CORVANE_PPP_PEERS_DIR", "/etc/ppp/peers"); }
std::string PppRunDir() { return FromEnvironment("CORVANE_PPP_RUN_DIR", "/var/run"); }
std::string SysNetDir() { return FromEnvironment("CORVANE_SYS_NET_DIR", "/sys/class/net"); }

std::vector<std::string> ListPeerEntries()
{
    std::error_code error;
    std::vector<std::string> names;
    for (fs::directory_iterator it(PppPeersDir(), error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file())
            names.push_back(it->path().filename().string());
    if (error)
        throw std::runtime_error("Cannot read the dial-up phone book " + PppPeersDir() + ": " + error.message());
    std::sort(names.begin(), names.end());
    return names;
}

bool ReadPeerEntry(const std::string& name, PeerEntry& entry)
{
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return false;
    fs::path file = fs::path(PppPeersDir()) / name;
    std::ifstream in(file, std::ios::binary);
    if (!in || !fs::is_regular_file(file))
        return false;
    std::ostringstream text;
    text << in.rdbuf();
    std::vector<std::string> words = PppOptionWords(text.str());
    entry = PeerEntry{};
    for (size_t i = 0; i < words.size(); ++i) {
        bool hasValue = i + 1 < words.size();
        if (words[i] == "user" && hasValue)
            entry.user = words[++i];
        else if (words[i] == "password" && hasValue)
            entry.password = words[++i];
        else if (words[i] == "connect" && hasValue)
            entry.connect = words[++i];
        else if (words[i] == "linkname" && hasValue)
            entry.linkname = words[++i];
        else if (IsDeviceWord(words[i]))
            entry.device = DevicePath(words[i]);
    }
    std::vector<std::string> script = PppOptionWords(entry.connect);
    for (size_t i = 0; i < script.size(); ++i) {
        if (script[i] == "-T" && i + 1 < script.size())
            entry.phone = script[i + 1];
        else if (script[i].rfind("-T", 0) == 0 && script[i].size() > 2)
            entry.phone = script[i].substr(2);
    }
    return true;
}

std::vector<std::string> PppOptionWords(const std::string& text)
{
    std::vector<std::string> words;
    size_t at = 0;
    while (at < text.size()) {
        if (std::isspace(static_cast<unsigned char>(text[at]))) {
            ++at;
            continue;
        }
        if (text[at] == '#') {
            at = text.find('\n', at);
            if (at == std::string::npos)
                break;
            continue;
        }
        std::string word;
        char quote = 0;
        while (at < text.size()) {
            char c = text[at++];
            if (c == '\\' && at < text.size()) {
                if (text[at] == '\n')
                    ++at;  // a continued line
                else
                    word += Unescape(text, at);
            } else if (quote) {
                if (c == quote)
                    quote = 0;
                else
                    word += c;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                break;
            } else {
                word += c;
            }
        }
        words.push_back(word);
    }
    return words;
}

std::string PppQuoted(const std::string& value)
{
    std::string quoted = "\"";
    for (unsigned char c : value) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            char octal[5];
            std::snprintf(octal, sizeof octal, "\\%03o", c);
            quoted += octal;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

std::string ConnectWithPhone(const std::string& connect, const std::string& phone)
{
    std::vector<std::string> script = PppOptionWords(connect);
    bool replaced = false;
    for (size_t i = 0; i < script.size(); ++i) {
        if (script[i] == "-T" && i + 1 < script.size()) {
            script[++i] = phone;
            replaced = true;
        } else if (script[i].rfind("-T", 0) == 0 && script[i].size() > 2) {
            script[i] = "-T" + phone;
            replaced = true;
        }
    }
    if (!replaced)
        return {};
    std::string command;
    for (const std::string& word : script)
        command += (command.empty() ? "" : " ") + ShellQuoted(word);
    return command;
}

std::vector<PppLink> ListPppLinks()
{
    std::error_code error;
    std::vector<PppLink> links;
    for (fs::directory_iterator it(PppRunDir(), error), end; !error && it != end; it.increment(error)) {
        std::string file = it->path().filename().string();
        if (file.size() <= 8 || file.rfind("ppp-", 0) != 0 || file.compare(file.size() - 4, 4, ".pid") != 0)
            continue;
        PppLink link;
        link.name = file.substr(4, file.size() - 8);
        if (!ReadLinkFile(it->path(), link) || !IsAlive(link.pid))
            continue;  // a pid file that outlived its pppd
        link.up = InterfaceUp(link.interface);
        links.push_back(link);
    }
    if (error)
        throw std::runtime_error("Cannot read the dial-up link folder " + PppRunDir() + ": " + error.message());
    std::sort(links.begin(), links.end(), [](const PppLink& a, const PppLink& b) { return a.name < b.name; });
    return links;
}

bool FindPppLink(const std::string& name, PppLink& link)
{
    for (const PppLink& candidate : ListPppLinks()) {
        if (candidate.name == name) {
            link = candidate;
            return true;
        }
    }
    return false;
}

std::string PppLinkDevice(const PppLink& link)
{
    std::string cmdline = ReadText("/proc/" + std::to_string(link.pid) + "/cmdline");
    std::vector<std::string> args;
    for (size_t at = 0; at < cmdline.size();) {
        size_t end = cmdline.find('\0', at);
        if (end == std::string::npos)
            end = cmdline.size();
        args.push_back(cmdline.substr(at, end - at));
        at = end + 1;
    }
    std::string entryDevice;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i].rfind("/dev/", 0) == 0)
            return args[i];
        PeerEntry entry;
        if (args[i] == "call" && i + 1 < args.size() && ReadPeerEntry(args[i + 1], entry))
            entryDevice = entry.device;
    }
    return entryDevice;
}

bool SameDevice(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    if (a == b)
        return true;
    std::error_code errorA, errorB;
    fs::path realA = fs::canonical(a, errorA);
    fs::path realB = fs::canonical(b, errorB);
    return !errorA && !errorB && realA == realB;
}
