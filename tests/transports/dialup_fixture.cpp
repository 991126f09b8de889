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
    environment_.set("CORVANE_PPPD", ProgramPath("pppd-standin"));
    environment_.set("CORVANE_PPP_PEERS_DIR", peersDir);
    environment_.set("CORVANE_PPP_RUN_DIR", runDir);
    environment_.set("CORVANE_SYS_NET_DIR", netDir);
    environment_.set("PPPD_STANDIN_RECORD", recordFile);
    environment_.set("PPPD_STANDIN_EXIT", std::nullopt);
}

void DialUpWorld::writePeer(const std::string& name, const std::string& text) const
{
    std::ofstream(peersDir + "/" + name, std::ios::binary | std::ios::trunc) << text;
}

void DialUpWorld::failDialsWith(int status)
{
    environment_.set("PPPD_STANDIN_EXIT", std::to_string(status));
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
