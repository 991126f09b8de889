#pragma once
#include <string>

// At most one process per configuration name: an exclusive flock on a lock
// file named "Corvane.exe - " + name in the user's runtime folder. The lock
// goes with the process, so a crashed instance never blocks the next start.
class SingleInstance {
public:
    explicit SingleInstance(const std::string& configName);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another process holds the lock for this name.
    bool heldElsewhere() const { return heldElsewhere_; }
    // Why the lock file could not be used at all (empty when it could).
    const std::string& error() const { return error_; }
    const std::string& lockPath() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
    bool heldElsewhere_ = false;
    std::string error_;
};

// The local socket beside the lock on which the running Corvane of the
// configuration takes requests to show its window.
std::string ShowRequestSocketPath(const std::string& configName);

// "$XDG_RUNTIME_DIR", else a per-user folder under /tmp (created 0700).
std::string RuntimeFolder();
