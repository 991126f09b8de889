#pragma once
#include "ports/comm_port.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

// One lamp of a status-light group; the window draws it from LitChanged.
class TApdStatusLight : public QObject {
    Q_OBJECT
public:
    bool Lit() const { return lit_; }
    void SetLit(bool lit);

signals:
    void LitChanged(bool lit);

private:
    bool lit_ = false;
};

// Lamps that follow a port: CTS, DSR and DCD show the line levels; RING, RXD,
// TXD, ERROR and BREAK light on their event and go out after a few ticks.
// The controller shares the port's notifications ahead of the program's own
// handlers and leaves them unchanged; its modem-status trigger makes the
// port's OnTriggerModemStatus fire for DCD and ring changes too.
class TApdSLController : public QObject, private PortListener {
    Q_OBJECT
public:
    static constexpr int RingOffTimeout = 8;
    static constexpr int RXDOffTimeout = 1;
    static constexpr int TXDOffTimeout = 1;
    static constexpr int ErrorOffTimeout = 36;
    static constexpr int BreakOffTimeout = 36;

    explicit TApdSLController(QObject* parent = nullptr);
    ~TApdSLController() override;

    void SetComPort(TApdWinsockPort* port);
    // Watching starts now if the port is open, else when it opens; closing
    // the port suspends it until the next open.
    void SetMonitoring(bool monitoring);
    bool Monitoring() const { return monitoring_; }

    TApdStatusLight& CTSLight() { return cts_; }
    TApdStatusLight& DSRLight() { return dsr_; }
    TApdStatusLight& DCDLight() { return dcd_; }
    TApdStatusLight& RINGLight() { return ring_; }
    TApdStatusLight& TXDLight() { return txd_; }
    TApdStatusLight& RXDLight() { return rxd_; }
    TApdStatusLight& ERRORLight() { return error_; }
    TApdStatusLight& BREAKLight() { return break_; }

private:
    void PortAvail(int count) override;
    void PortStatus(quint16 handle) override;
    void PortWritten(int count) override;
    void PortOpened() override;
    void PortClosing() override;

    void StartWatching();
    void StopWatching();
    void ShowLevels();
    void AllOut();
    // Lights `lamp` and puts it out after `ticks`, or later while `busy` holds.
    void Flash(TApdStatusLight& lamp, QTimer& timer, int ticks);
    void PutOutWhenIdle(TApdStatusLight& lamp, QTimer& timer, bool busy);

    QPointer<TApdWinsockPort> port_;
    bool monitoring_ = false;
    quint16 modemTrigger_ = 0;
    quint16 lineTrigger_ = 0;

    TApdStatusLight cts_, dsr_, dcd_, ring_, txd_, rxd_, error_, break_;
    QTimer ringTimer_, rxdTimer_, txdTimer_, errorTimer_, breakTimer_;
};
