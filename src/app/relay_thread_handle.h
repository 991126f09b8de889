#pragma once
#include <QObject>
#include <functional>
#include <memory>
#include <string>

class TMxSockThread;

// The main window's handle on the relay thread. The relay calls back on its
// own thread; the handle carries those calls onto the main thread and turns
// them into signals.
class RelayThreadHandle : public QObject {
    Q_OBJECT
public:
    // The modem hand-over, run on the main thread while the relay waits;
    // empty when claims must never go by modem.
    using SendViaTapi = std::function<bool(const std::string& request, std::string& response)>;

    // establishDialUp, when given, is the relay's dial-up request; it runs on
    // the main thread and its exception reaches the relay.
    explicit RelayThreadHandle(std::function<void()> establishDialUp = {}, SendViaTapi sendViaTapi = {});
    // Only after Terminated: the thread function has returned by then.
    ~RelayThreadHandle() override;

    void Start();
    void RequestTerminate();
    // For a thread that did not end in time: stop listening to it and leave
    // it to the end of the process. The handle is deliberately never freed,
    // since destroying a running thread would wait for it.
    void DetachRunaway();

    // The relay's ready call has reached the main thread.
    bool HasStarted() const { return started_; }
    // Termination was asked for and the thread has not ended yet.
    bool IsStopping() const { return stopping_; }

signals:
    void Started();
    void Terminated();

private:
    std::function<void()> establishDialUp_;
    std::unique_ptr<TMxSockThread> thread_;
    bool started_ = false;
    bool stopping_ = false;
};
