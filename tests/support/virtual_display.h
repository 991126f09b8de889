#pragma once
#include <QProcess>
#include <QString>

// An X server of a test's own (Xvfb on a display number it picks itself,
// no TCP), with a system tray on it (trayer), for running the program with
// a real window and tray icon. The tray runs once construction returns
// (unless it failed to start within 30 s).
class VirtualDisplay {
public:
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // ":N" once the server accepts clients; empty when it did not start.
    QString name() const { return name_; }

private:
    QProcess server_;
    QProcess tray_;
    QString name_;
};

// A display name on which no X server runs.
QString UnusedDisplayName();
