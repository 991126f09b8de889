#pragma once
#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into Qt signals on the main thread. The
// handler only writes the signal number into a pipe; the event loop does the
// rest, so no work runs inside the signal handler.
class SignalBridge : public QObject {
    Q_OBJECT
public:
    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

signals:
    void TerminateRequested(int signalNumber);
    void ReloadRequested();

private:
    void ReadPipe();

    QSocketNotifier* notifier_ = nullptr;
};
