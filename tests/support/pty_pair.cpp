#include "pty_pair.h"

#include <QFileInfo>

PtyPair::PtyPair()
{
    const QStringList args{"-d", "-d", "pty,raw,echo=0,link=" + dir_.filePath("a"),
                           "pty,raw,echo=0,link=" + dir_.filePath("b")};
    socat_.setProcessChannelMode(QProcess::MergedChannels);
    socat_.start("socat", args);
    if (!socat_.waitForStarted(10000))
        return;
    // socat reports the transfer loop once both ptys exist.
    QByteArray log;
    while (!log.contains("starting data transfer loop") && socat_.waitForReadyRead(10000))
        log += socat_.readAll();
    ready_ = QFileInfo::exists(dir_.filePath("a")) && QFileInfo::exists(dir_.filePath("b"));
}

PtyPair::~PtyPair()
{
    socat_.terminate();
    socat_.waitForFinished(10000);
}

std::string PtyPair::PathA() const
{
    return dir_.filePath("a").toStdString();
}

std::string PtyPair::PathB() const
{
    return dir_.filePath("b").toStdString();
}
