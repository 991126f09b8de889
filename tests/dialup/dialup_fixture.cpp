#include "dialup_fixture.h"

#include "transports/ppp_links.h"

#include <QDir>
#include <cstdlib>
#include <fstream>
#include <sstream>

const char* const kProviderEntry = "/dev/ttyS0\n"
                                   "115200\n"
                                   "# the provider's account\n"
                                   "user \"entryuser\"\n"
                                   "password \"stored-secret\"\n"
                                   "connect \"/usr/sbin/chat -v -f /etc/chatscripts/provider -T 5550100\"\n"
                                   "noauth\n";

DialUpWorld::DialUpWorld(const TestHome& home)
    : peersDir(home.path() + "/peers")
    , runDir(home.path() + "/run")
    , netDir(home.path() + "/net")
    , recordFile(home.path() + "/pppd-record.txt")
{
    for (const std::string& dir : {peersDir, runDir, netDir})
        QDir().mkpath(QString::fromStdString(dir));
    setVar("CORVANE_PPPD", ProgramPath("pppd-standin"));
    setVar("CORVANE_PPP_PEERS_DIR", peersDir);
    setVar("CORVANE_PPP_RUN_DIR", runDir);
    setVar("CORVANE_SYS_NET_DIR", netDir);
    setVar("PPPD_STANDIN_RECORD", recordFile);
    setVar("PPPD_STANDIN_EXIT", std::nullopt);
}

DialUpWorld::~DialUpWorld()
{
    for (const auto& [name, value] : saved_) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
}

void DialUpWorld::writePeer(const std::string& name, const std::string& text) const
{
    std::ofstream(peersDir + "/" + name, std::ios::binary | std::ios::trunc) << text;
}

void DialUpWorld::failDialsWith(int status)
{
    setVar("PPPD_STANDIN_EXIT", std::to_string(status));
}

std::string DialUpWorld::record() const
{
    return ReadWholeFile(recordFile);
}

std::string DialUpWorld::lastOptions() const
{
    std::istringstream lines(record());
    std::string last;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("options: ", 0) == 0)
            last = line.substr(9);
    return last;
}

int DialUpWorld::runs() const
{
    std::istringstream lines(record());
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        count += line.rfind("argv: ", 0) == 0 ? 1 : 0;
    return count;
}

bool DialUpWorld::linkUp(const std::string& name) const
{
    PppLink link;
    return FindPppLink(name, link) && link.up;
}

void DialUpWorld::setVar(const char* name, const std::optional<std::string>& value)
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

OtherProgramsLink::OtherProgramsLink(const std::string& entry)
{
    const QString name = QString::fromStdString(entry);
    process_.start(QString::fromStdString(ProgramPath("pppd-standin")),
                   {"call", name, "linkname", name, "nodetach"});
    process_.waitForStarted();
}

OtherProgramsLink::~OtherProgramsLink()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        process_.waitForFinished();
    }
}
