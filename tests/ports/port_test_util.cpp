#include "port_test_util.h"

#include "ports/port_ticks.h"
#include "ports/pumped_wait.h"

#include <QFileInfo>

bool WaitUntil(const std::function<bool()>& condition, int seconds)
{
    return PumpedWait(Secs2Ticks(seconds), condition);
}

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

PortRecorder::PortRecorder(TApdWinsockPort& port)
{
    connect(&port, &TApdWinsockPort::OnTriggerAvail, this, [this, &port](int count) {
        received += port.GetBlock(count);
    });
    connect(&port, &TApdWinsockPort::OnTriggerStatus, this, [this](quint16 h) { statusHandles.push_back(h); });
    connect(&port, &TApdWinsockPort::OnTriggerModemStatus, this, [this] { ++modemStatusCount; });
    connect(&port, &TApdWinsockPort::OnTriggerTimer, this, [this](quint16 h) { timerHandles.push_back(h); });
    connect(&port, &TApdWinsockPort::OnWsConnect, this, [this] { ++connects; });
    connect(&port, &TApdWinsockPort::OnWsDisconnect, this, [this] { ++disconnects; });
    connect(&port, &TApdWinsockPort::OnWsError, this, [this](int code) { errors.push_back(code); });
}
