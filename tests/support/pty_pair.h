#pragma once
#include <QProcess>
#include <QTemporaryDir>

#include <string>

// Two linked ptys made by socat; bytes written to one arrive at the other.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ready() const { return ready_; }
    std::string PathA() const;
    std::string PathB() const;

private:
    QTemporaryDir dir_;
    QProcess socat_;
    bool ready_ = false;
};
