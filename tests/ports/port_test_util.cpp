#include "port_test_util.h"

#include "ports/port_ticks.h"
#include "ports/pumped_wait.h"

#include <QFileInfo>


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
