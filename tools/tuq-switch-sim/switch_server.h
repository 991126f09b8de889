#pragma once
#include "switch_options.h"
#include "tls_server_context.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <thread>

// The listening socket and one thread per accepted connection.
class SwitchServer {
public:
    SwitchServer(const SwitchOptions& options, SSL_CTX* tls);
    ~SwitchServer();
    SwitchServer(const SwitchServer&) = delete;
    SwitchServer& operator=(const SwitchServer&) = delete;

    // Binds and listens; false with error set on failure.
    bool listen(std::string& error);
    std::uint16_t port() const { return port_; }
    // Accepts connections until stopFd becomes readable, then shuts every
    // connection down and waits for its thread.
    void run(int stopFd);

private:
    struct Connection {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    void accept();
    void reapFinished();
    void stopAll();

    const SwitchOptions& options_;
    SSL_CTX* tls_;
    int listenFd_ = -1;
    int finishedEvent_ = -1;  // eventfd: a connection thread has ended
    std::uint16_t port_ = 0;
    int accepted_ = 0;
    std::atomic<unsigned> authorizations_{0};
    std::list<std::unique_ptr<Connection>> connections_;
};
