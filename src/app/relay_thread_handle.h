#pragma once
#include <QObject>
#include <functional>
#include <memory>

class TMxSockThread;

// The main window's handle on the relay thread. The relay calls back on its
// own thread; the handle carries those calls onto the main thread and turns
// them into signals.
class RelayThreadHandle : public QObject {
    Q_OBJECT
public:
    // establishDialUp, when given, is the relay's dial-up request; it runs on
    // the main thread and its exception reaches the relay.
    explicit RelayThreadHandle(std::function<void()> establishDialUp = {});
    // Only after Terminated: the thread function has returned by then.
    ~RelayThreadHandle() override;

    void Start();
    void RequestTerminate();
    // For a thread that did not end in time: stop listening to it and leave
    // it to the end of the process. The handle is deliberately never freed,
    // since destroying a running thread would wait for it.
    void DetachRunaway();

signals:
    void Started();
    void Terminated();

private:
    std::function<void()> establishDialUp_;
    std::unique_ptr<TMxSockThread> thread_;
};
