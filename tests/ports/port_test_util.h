#pragma once
#include "ports/comm_port.h"
#include "pty_pair.h"
#include "wait_for.h"

#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <string>



// Records every notification of a port.
class PortRecorder : public QObject {
public:
    explicit PortRecorder(TApdWinsockPort& port);
    std::string received;
    std::vector<quint16> statusHandles;
    std::vector<quint16> timerHandles;
    int modemStatusCount = 0;
    int connects = 0;
    int disconnects = 0;
    std::vector<int> errors;
};
