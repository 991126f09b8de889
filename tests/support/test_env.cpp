#include "test_env.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

TestHome::TestHome()
{
    QDir root(dir_.path());
    const std::pair<const char*, const char*> folders[] = {
        {"XDG_CONFIG_HOME", "config"},    {"XDG_STATE_HOME", "state"},
        {"XDG_DATA_HOME", "data"},        {"XDG_CACHE_HOME", "cache"},
        {"XDG_RUNTIME_DIR", "runtime"},   {"CORVANE_PPP_PEERS_DIR", "peers"},
        {"CORVANE_PPP_RUN_DIR", "run"},   {"CORVANE_SYS_NET_DIR", "net"},
        {"CORVANE_DEVICE_DIR", "dev"},
    };
    for (const auto& [variable, folder] : folders) {
        root.mkpath(folder);
        environment_.set(variable, root.filePath(folder).toStdString());
    }
    // Qt warns about a runtime folder that others may read.
    QFile::setPermissions(root.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment_.set("HOME", dir_.path().toStdString());
    environment_.set("CORVANE_SETTINGS", std::nullopt);
    // A dial that no test arranged must fail, not run the machine's pppd.
    environment_.set("CORVANE_PPPD", root.filePath("no-pppd").toStdString());
}

std::string TestHome::peersDir() const
{
    return path() + "/peers";
}

std::string TestHome::deviceDir() const
{
    return path() + "/dev";
}

const char* const kOwnDisplayVariable = "CORVANE_TEST_ON_DISPLAY";

void IsolateFromTheMachine()
{
    // Kept for the life of the program, and so are its changes.
    static TestHome runHome;
    if (!std::getenv(kOwnDisplayVariable)) {
        for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY"})
            ::unsetenv(variable);
    }
    for (const char* variable : {"DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER"})
        ::unsetenv(variable);
}

std::string TestHome::path() const
{
    return dir_.path().toStdString();
}

std::string TestHome::settingsFile() const
{
    return path() + "/config/Tuq Network/Corvane.reg";
}

void TestHome::writeSettings(const std::string& regText) const
{
    QDir().mkpath(QString::fromStdString(path() + "/config/Tuq Network"));
    std::ofstream out(settingsFile(), std::ios::binary | std::ios::trunc);
    out << regText;
}

ScopedEnvironment::~ScopedEnvironment()
{
    for (const auto& [name, value] : saved_) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
}

void ScopedEnvironment::set(const char* name, const std::optional<std::string>& value)
{
    if (!saved_.count(name)) {
        const char* old = std::getenv(name);
        saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value)
        ::setenv(name, value->c_str(), 1);
    else
        ::unsetenv(name);
}

std::string ProgramPath(const std::string& name)
{
    return QFileInfo("/proc/self/exe").symLinkTarget().section('/', 0, -2).toStdString() + "/" + name;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool PathExists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}
