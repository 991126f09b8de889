#pragma once
#include <QTemporaryDir>
#include <map>
#include <optional>
#include <string>

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

// A private home for one test: HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR point
// into a fresh temporary folder and CORVANE_SETTINGS is unset, so nothing
// touches the real user's files. Everything is restored on destruction.
class TestHome {
public:
    TestHome();
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    std::string path() const;
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
