#pragma once
#include <QProcess>
#include <QString>

#include <cstdint>

// haproxy 2.6 in TCP mode with one thread, forwarding a free loopback port
// to the switch simulator: the anchor the relay is measured against. Each
// client connection gets its own connection to the switch.
class HaproxyProxy {
public:
    HaproxyProxy(const QString& folder, std::uint16_t switchPort);
    ~HaproxyProxy();
    HaproxyProxy(const HaproxyProxy&) = delete;
    HaproxyProxy& operator=(const HaproxyProxy&) = delete;

    // The port it forwards, or 0 when it did not start; then missing() says why.
    std::uint16_t port() const { return port_; }
    const QString& missing() const { return missing_; }

private:
    bool waitUntilListening();

    QProcess process_;
    std::uint16_t port_ = 0;
    QString missing_;
};
