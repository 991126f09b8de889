#include "virtual_display.h"

#include <QFileInfo>
#include <QProcessEnvironment>
#include <QThread>
#include <cstdlib>
#include <xcb/xcb.h>

namespace {

constexpr int waitMs = 30000;

void Stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(waitMs))
        process.kill();
    process.waitForFinished(waitMs);
}

// Whether a system tray has taken the tray selection of the first screen.
bool TrayRuns(const QString& display)
{
    xcb_connection_t* connection = xcb_connect(display.toLatin1().constData(), nullptr);
    bool owned = false;
    if (xcb_connection_has_error(connection) == 0) {
        const char name[] = "_NET_SYSTEM_TRAY_S0";
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
        if (atom) {
            xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
                connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
            owned = owner && owner->owner != XCB_NONE;
            free(owner);
            free(atom);
        }
    }
    xcb_disconnect(connection);
    return owned;
}

} // namespace

VirtualDisplay::VirtualDisplay()
{
    // -displayfd: the server picks a free number and writes it once ready.
    server_.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
    while (server_.waitForReadyRead(waitMs) && !server_.canReadLine()) {
    }
    if (!server_.canReadLine())
        return;
    name_ = ":" + QString::fromLatin1(server_.readLine()).trimmed();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", name_);
    tray_.setProcessEnvironment(environment);
    tray_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tray_.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
    tray_.waitForStarted(waitMs);
    // Programs started before the tray runs would show no tray icon.
    for (int waited = 0; waited < waitMs && !TrayRuns(name_); waited += 20)
        QThread::msleep(20);
}

VirtualDisplay::~VirtualDisplay()
{
    Stop(tray_);
    Stop(server_);
}

QString UnusedDisplayName()
{
    for (int number = 150;; ++number) {
        QString lock = QString("/tmp/.X%1-lock").arg(number);
        QString socket = QString("/tmp/.X11-unix/X%1").arg(number);
        if (!QFileInfo::exists(lock) && !QFileInfo::exists(socket))
            return QString(":%1").arg(number);
    }
}
