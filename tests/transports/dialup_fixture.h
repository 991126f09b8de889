#pragma once
#include "test_env.h"

#include <QProcess>
#include <map>
#include <optional>
#include <string>

// A private phone book, link folder and interface folder for the stand-in
// pppd, which the dialer finds through CORVANE_PPPD. Everything is restored
// on destruction.
class DialUpWorld {
public:
    explicit DialUpWorld(const TestHome& home);
    DialUpWorld(const DialUpWorld&) = delete;
    DialUpWorld& operator=(const DialUpWorld&) = delete;

    void writePeer(const std::string& name, const std::string& text) const;
    // The next dial ends at once with this pppd exit status.
    void failDialsWith(int status);
    // What the stand-in recorded of every run: "argv: ..." and "options: ..."
    // lines.
    std::string record() const;
    std::string lastOptions() const;
    int runs() const;
    bool linkUp(const std::string& name) const;

    std::string peersDir, runDir, netDir, recordFile;

private:
    ScopedEnvironment environment_;
};

// A pppd started by another program (not by Corvane).
class OtherProgramsLink {
public:
    explicit OtherProgramsLink(const std::string& entry);
    ~OtherProgramsLink();
    bool running() const { return process_.state() == QProcess::Running; }

private:
    QProcess process_;
};

// The provider entry every dial-up test dials.
extern const char* const kProviderEntry;
