#include "test_env.h"

#include <QDir>
#include <QFileInfo>
#include <cstdlib>
#include <fstream>
#include <sstream>

TestHome::TestHome()
{
    QDir root(dir_.path());
    root.mkpath("config");
    root.mkpath("runtime");
    environment_.set("HOME", dir_.path().toStdString());
    environment_.set("XDG_CONFIG_HOME", root.filePath("config").toStdString());
    environment_.set("XDG_RUNTIME_DIR", root.filePath("runtime").toStdString());
    environment_.set("CORVANE_SETTINGS", std::nullopt);
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
