#pragma once
#include <QTemporaryDir>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Environment variables set for the life of the object; each goes back to
// what it was (or away) on destruction.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    // Sets the variable, or unsets it for nullopt.
    void set(const char* name, const std::optional<std::string>& value);

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

// A private home for one test: the home, the XDG folders, the dial-up phone
// book with pppd's link and interface folders, and the serial devices all
// point into a fresh temporary folder, and CORVANE_SETTINGS is unset, so
// nothing reads or touches the machine's own configuration. Everything is
// restored on destruction.
class TestHome {
public:
    TestHome();
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    std::string path() const;
    // The empty phone book and device folder the home starts with.
    std::string peersDir() const;
    std::string deviceDir() const;
    // Where the settings store keeps its file under this home.
    std::string settingsFile() const;
    // Writes the settings file (registry export text, UTF-8) in one go.
    void writeSettings(const std::string& regText) const;

private:
    QTemporaryDir dir_;
    ScopedEnvironment environment_;
};

// A program built beside the test programs (build/bin).
std::string ProgramPath(const std::string& name);

// Reads a whole file; empty when it does not exist.
std::string ReadWholeFile(const std::string& path);
// The lines of a text, without their line ends.
std::vector<std::string> SplitLines(const std::string& text);
// Anything at the path, a link that leads nowhere included.
bool PathExists(const std::string& path);

// Every test program runs as if on a machine without a display, a session
// bus or a user of its own: the run gets a TestHome, and the display and bus
// variables are unset. A copy of a test program that a test starts on a
// display of its own (with this variable set) keeps that display.
extern const char* const kOwnDisplayVariable;
void IsolateFromTheMachine();
