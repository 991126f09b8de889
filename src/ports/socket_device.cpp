#include "ports/socket_device.h"

#include "ports/port_errors.h"

#include <cerrno>
#include <netdb.h>

#include <charconv>

quint16 ServicePort(const std::string& service)
{
    unsigned value = 0;
    const char* end = service.data() + service.size();
    const auto [ptr, ec] = std::from_chars(service.data(), end, value);
    if (!service.empty() && ec == std::errc() && ptr == end && value > 0 && value <= 65535)
        return static_cast<quint16>(value);
    if (const servent* entry = getservbyname(service.c_str(), "tcp"))
        return ntohs(static_cast<uint16_t>(entry->s_port));
    throw EPortError(ecBadSetting, "Unknown port number or service name '" + service + "'");
}

int SocketErrorCode(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return ECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError: return ECONNRESET;
    case QAbstractSocket::HostNotFoundError: return ecHostNotFound;
    case QAbstractSocket::SocketAccessError: return EACCES;
    case QAbstractSocket::SocketResourceError: return ENOBUFS;
    case QAbstractSocket::SocketTimeoutError: return ETIMEDOUT;
    case QAbstractSocket::NetworkError: return ENETUNREACH;
    case QAbstractSocket::AddressInUseError: return EADDRINUSE;
    case QAbstractSocket::SocketAddressNotAvailableError: return EADDRNOTAVAIL;
    case QAbstractSocket::UnsupportedSocketOperationError: return EOPNOTSUPP;
    default: return ecSocketFailure;
    }
}

SocketDevice::SocketDevice(const std::string& host, const std::string& service, qint64 readLimit)
{
    const quint16 port = ServicePort(service);
    socket_.setReadBufferSize(readLimit);
    connect(&socket_, &QTcpSocket::connected, this, &SocketDevice::Connected);
    connect(&socket_, &QTcpSocket::disconnected, this, &SocketDevice::Disconnected);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &SocketDevice::OnSocketError);
    connect(&socket_, &QTcpSocket::readyRead, this, &SocketDevice::ReadyRead);
    connect(&socket_, &QTcpSocket::bytesWritten, this, &SocketDevice::ReadyWrite);
    // Started from the event loop, so that even an immediate failure reaches
    // the port as an event after Open has returned.
    const QString hostName = QString::fromStdString(host);
    QMetaObject::invokeMethod(this, [this, hostName, port] {
        if (!closed_)
            socket_.connectToHost(hostName, port);
    }, Qt::QueuedConnection);
}

void SocketDevice::OnSocketError(QAbstractSocket::SocketError error)
{
    // A peer that closes in order ends the connection; that is a disconnect,
    // not a failure.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    emit Failed(SocketErrorCode(error));
}

bool SocketDevice::IsConnected() const
{
    return socket_.state() == QAbstractSocket::ConnectedState;
}

QByteArray SocketDevice::Read(qint64 max)
{
    // Nothing to read before the connection is up (or after it has gone).
    if (max <= 0 || !socket_.isOpen())
        return {};
    return socket_.read(max);
}

qint64 SocketDevice::Write(const QByteArray& data)
{
    if (!IsConnected() || data.isEmpty())
        return 0;
    return socket_.write(data);
}

qint64 SocketDevice::BytesQueued() const
{
    return socket_.bytesToWrite();
}

void SocketDevice::Close()
{
    closed_ = true;
    socket_.disconnect(this);
    // What the program wrote last (a final reply) still goes to the system;
    // nothing waits for it.
    socket_.flush();
    socket_.abort();
}
