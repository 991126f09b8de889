#include "ports/telnet_filter.h"

namespace {

constexpr unsigned char IAC = 255;
constexpr unsigned char DONT = 254;
constexpr unsigned char DO = 253;
constexpr unsigned char WONT = 252;
constexpr unsigned char WILL = 251;
constexpr unsigned char SB = 250;
constexpr unsigned char SE = 240;

char Byte(unsigned char value)
{
    return static_cast<char>(value);
}

} // namespace

QByteArray TelnetFilter::Receive(const QByteArray& incoming, QByteArray& replies)
{
    QByteArray data;
    for (char c : incoming) {
        const auto byte = static_cast<unsigned char>(c);
        switch (state_) {
        case State::Data:
            if (byte == IAC)
                state_ = State::Command;
            else
                data.append(c);
            break;
        case State::Command:
            if (byte == IAC) {
                data.append(c);
                state_ = State::Data;
            } else if (byte >= WILL && byte <= DONT) {
                verb_ = byte;
                state_ = State::Option;
            } else {
                state_ = byte == SB ? State::Subnegotiation : State::Data;
            }
            break;
        case State::Option:
            // Refuse: no option is enabled on either side.
            if (verb_ == DO)
                replies.append(Byte(IAC)).append(Byte(WONT)).append(c);
            else if (verb_ == WILL)
                replies.append(Byte(IAC)).append(Byte(DONT)).append(c);
            state_ = State::Data;
            break;
        case State::Subnegotiation:
            if (byte == IAC)
                state_ = State::SubnegotiationCommand;
            break;
        case State::SubnegotiationCommand:
            state_ = byte == SE ? State::Data : State::Subnegotiation;
            break;
        }
    }
    return data;
}

QByteArray TelnetFilter::Escape(const QByteArray& data)
{
    QByteArray escaped;
    escaped.reserve(data.size());
    for (char c : data) {
        escaped.append(c);
        if (static_cast<unsigned char>(c) == IAC)
            escaped.append(c);
    }
    return escaped;
}
