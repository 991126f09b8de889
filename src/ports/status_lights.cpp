#include "ports/status_lights.h"

#include "ports/port_ticks.h"

void TApdStatusLight::SetLit(bool lit)
{
    if (lit == lit_)
        return;
    lit_ = lit;
    emit LitChanged(lit_);
}

TApdSLController::TApdSLController(QObject* parent) : QObject(parent)
{
    for (QTimer* timer : {&ringTimer_, &rxdTimer_, &txdTimer_, &errorTimer_, &breakTimer_})
        timer->setSingleShot(true);
    connect(&ringTimer_, &QTimer::timeout, this, [this] { ring_.SetLit(false); });
    connect(&errorTimer_, &QTimer::timeout, this, [this] { error_.SetLit(false); });
    connect(&breakTimer_, &QTimer::timeout, this, [this] { break_.SetLit(false); });
    connect(&rxdTimer_, &QTimer::timeout, this, [this] {
        PutOutWhenIdle(rxd_, rxdTimer_, port_ && port_->Open() && port_->InBuffUsed() > 0);
    });
    connect(&txdTimer_, &QTimer::timeout, this, [this] {
        PutOutWhenIdle(txd_, txdTimer_, port_ && port_->OutBuffUsed() > 0);
    });
}

TApdSLController::~TApdSLController()
{
    SetMonitoring(false);
}

void TApdSLController::SetComPort(TApdWinsockPort* port)
{
    const bool monitoring = monitoring_;
    SetMonitoring(false);
    port_ = port;
    SetMonitoring(monitoring);
}

void TApdSLController::SetMonitoring(bool monitoring)
{
    if (monitoring == monitoring_ || !port_) {
        monitoring_ = monitoring;
        return;
    }
    monitoring_ = monitoring;
    if (monitoring_) {
        port_->AddListener(this, ListenerRank::StatusLights);
        if (port_->Open())
            StartWatching();
    } else {
        StopWatching();
        port_->RemoveListener(this);
    }
}

void TApdSLController::StartWatching()
{
    modemTrigger_ = port_->AddStatusTrigger(stModem);
    port_->SetStatusTrigger(modemTrigger_, msCTSDelta | msDSRDelta | msDCDDelta | msRingDelta, true);
    lineTrigger_ = port_->AddStatusTrigger(stLine);
    port_->SetStatusTrigger(lineTrigger_, lsOverrun | lsParity | lsFraming | lsBreak, true);
    ShowLevels();
}

void TApdSLController::StopWatching()
{
    if (port_->Open()) {
        port_->RemoveTrigger(modemTrigger_);
        port_->RemoveTrigger(lineTrigger_);
    }
    modemTrigger_ = 0;
    lineTrigger_ = 0;
    AllOut();
}

void TApdSLController::ShowLevels()
{
    const ModemLevels levels = port_->PeekModemLevels();
    cts_.SetLit(levels.cts);
    dsr_.SetLit(levels.dsr);
    dcd_.SetLit(levels.dcd);
}

void TApdSLController::AllOut()
{
    for (QTimer* timer : {&ringTimer_, &rxdTimer_, &txdTimer_, &errorTimer_, &breakTimer_})
        timer->stop();
    for (TApdStatusLight* lamp : {&cts_, &dsr_, &dcd_, &ring_, &txd_, &rxd_, &error_, &break_})
        lamp->SetLit(false);
}

void TApdSLController::Flash(TApdStatusLight& lamp, QTimer& timer, int ticks)
{
    lamp.SetLit(true);
    timer.start(ticks * kTickMs);
}

void TApdSLController::PutOutWhenIdle(TApdStatusLight& lamp, QTimer& timer, bool busy)
{
    if (busy)
        timer.start();
    else
        lamp.SetLit(false);
}

void TApdSLController::PortAvail(int)
{
    Flash(rxd_, rxdTimer_, RXDOffTimeout);
}

void TApdSLController::PortWritten(int)
{
    Flash(txd_, txdTimer_, TXDOffTimeout);
}

void TApdSLController::PortStatus(quint16 handle)
{
    if (handle == modemTrigger_) {
        ShowLevels();
        if (port_->LastModemChanges() & msRingDelta)
            Flash(ring_, ringTimer_, RingOffTimeout);
        port_->SetStatusTrigger(modemTrigger_, msCTSDelta | msDSRDelta | msDCDDelta | msRingDelta, true);
    } else if (handle == lineTrigger_) {
        const int conditions = port_->LastLineConditions();
        if (conditions & (lsOverrun | lsParity | lsFraming))
            Flash(error_, errorTimer_, ErrorOffTimeout);
        if (conditions & lsBreak)
            Flash(break_, breakTimer_, BreakOffTimeout);
        port_->SetStatusTrigger(lineTrigger_, lsOverrun | lsParity | lsFraming | lsBreak, true);
    }
}

void TApdSLController::PortOpened()
{
    StartWatching();
}

void TApdSLController::PortClosing()
{
    // The port discards its triggers as it closes; the next open makes new ones.
    modemTrigger_ = 0;
    lineTrigger_ = 0;
    AllOut();
}
