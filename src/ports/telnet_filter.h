#pragma once
#include <QByteArray>

// Telnet option processing on a socket stream: commands are taken out of the
// incoming bytes, every option the peer offers or asks for is refused, and
// the byte 0xFF of outgoing data is doubled. The peer stays in plain NVT mode.
class TelnetFilter {
public:
    // The data bytes of `incoming`; answers for the peer are appended to
    // `replies`. A command split across two pieces is carried over.
    QByteArray Receive(const QByteArray& incoming, QByteArray& replies);
    static QByteArray Escape(const QByteArray& data);

private:
    enum class State { Data, Command, Option, Subnegotiation, SubnegotiationCommand };
    State state_ = State::Data;
    unsigned char verb_ = 0;
};
