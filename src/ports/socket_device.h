#pragma once
#include "ports/port_device.h"

#include <QTcpSocket>

#include <string>

// A TCP client connection. Connecting starts from the event loop after
// construction and ends in Connected or Failed; a live connection ends in
// Disconnected (and Failed first when it broke rather than closed).
class SocketDevice : public PortDevice {
    Q_OBJECT
public:
    // `service` is a port number or a service name ("telnet"); an unknown
    // service raises EPortError. `readLimit` bounds what the socket buffers.
    SocketDevice(const std::string& host, const std::string& service, qint64 readLimit);

    bool IsConnected() const;

    QByteArray Read(qint64 max) override;
    qint64 Write(const QByteArray& data) override;
    qint64 BytesQueued() const override;
    void Close() override;
    void SetReadSuspended(bool) override {}
    void SetOutputLines(bool, bool) override {}
    ModemLevels Levels() const override { return {}; }

signals:
    void Connected();
    void Disconnected();
    void Failed(int errorCode);

private:
    void OnSocketError(QAbstractSocket::SocketError error);

    QTcpSocket socket_;
    bool closed_ = false;
};

// The port layer's error code for a Qt socket error.
int SocketErrorCode(QAbstractSocket::SocketError error);

// A port number from its text: decimal digits or a TCP service name.
quint16 ServicePort(const std::string& service);
