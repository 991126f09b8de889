#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <thread>

struct MX;

// The calls the relay makes onto the main thread. The relay calls them on
// its own thread and waits for them; the application supplies functions that
// run the work on the user-interface thread (Qt::BlockingQueuedConnection).
// Any member may be empty.
struct RelayCallbacks {
    // Start notification: the relay is open and serves claims.
    std::function<void()> OnReady;
    // Before every series of upstream connection attempts; an exception
    // (std::exception) makes the series fail without trying a host.
    std::function<void()> OnEstablishDialUpConnection;
    // Modem hand-over: (claim bytes, response out); true when a response came.
    std::function<bool(const std::string& request, std::string& response)> OnSendViaTapi;
    // End notification, the last thing the thread does. Deliver it with
    // Qt::QueuedConnection: the handler may then destroy the thread object.
    std::function<void()> OnTerminate;
};

// The relay worker. Created suspended; Resume() runs the server loop on a
// std::thread. There is at most one per process (currentMxSockThread).
class TMxSockThread {
public:
    explicit TMxSockThread(RelayCallbacks callbacks = {});
    // Requests termination and waits for the thread function to return.
    // Never destroy the object inside a blocking call from the relay.
    ~TMxSockThread();
    TMxSockThread(const TMxSockThread&) = delete;
    TMxSockThread& operator=(const TMxSockThread&) = delete;

    void Resume();
    // The stop request; takes effect within about a second.
    void Terminate();
    bool Terminated() const;
    // True once the thread function has returned (before OnTerminate runs).
    bool Finished() const;

    const RelayCallbacks& Callbacks() const { return callbacks_; }

    // The relay context while the loop runs.
    MX* mx = nullptr;

private:
    void Execute();

    RelayCallbacks callbacks_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

// The one relay thread of the process, or null.
TMxSockThread* CurrentMxSockThread();

// True (and logged) when there is no relay thread or it was asked to stop.
bool mxSockShouldTerminate();
