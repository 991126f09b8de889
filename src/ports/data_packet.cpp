#include "ports/data_packet.h"

#include "base/general_log.h"
#include "ports/comm_port.h"
#include "ports/packet_hub.h"
#include "ports/port_ticks.h"

#include <stdexcept>

namespace {

unsigned char UpperAscii(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

}  // namespace

TApdDataPacket::TApdDataPacket(TApdWinsockPort& port, QObject* parent)
    : QObject(parent), hub_(&PacketHub::For(port))
{
    hub_->Add(this);
    captureTimer_.setSingleShot(true);
    connect(&captureTimer_, &QTimer::timeout, this, &TApdDataPacket::CaptureTimedOut);
}

TApdDataPacket::~TApdDataPacket()
{
    if (hub_)
        hub_->Remove(this);
}

void TApdDataPacket::SetEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    if (!enabled) {
        enabled_ = false;
        Disarm();
        return;
    }
    start_ = Compile(startString_);
    end_ = Compile(endString_);
    if (start_.empty())
        throw std::invalid_argument("A data packet needs a start string");
    if ((endCond_ & ecString) && end_.empty())
        throw std::invalid_argument("A data packet that ends with a string needs an end string");
    enabled_ = true;
    Arm();
}

void TApdDataPacket::SetStartString(const std::string& pattern)
{
    startString_ = pattern;
}

void TApdDataPacket::SetEndCond(int conditions)
{
    endCond_ = conditions;
}

void TApdDataPacket::SetEndString(const std::string& pattern)
{
    bool wasEnabled = enabled_;
    SetEnabled(false);
    endString_ = pattern;
    SetEnabled(wasEnabled);
}

TApdDataPacket::Pattern TApdDataPacket::Compile(const std::string& text) const
{
    Pattern pattern;
    for (size_t i = 0; i < text.size(); ++i) {
        PatternByte position;
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\\' && i + 1 < text.size()) {
            c = static_cast<unsigned char>(text[++i]);
        } else if (c == '?') {
            position.wildcard = true;
        }
        position.value = ignoreCase_ ? UpperAscii(c) : c;
        pattern.push_back(position);
    }
    return pattern;
}

bool TApdDataPacket::Matches(const PatternByte& position, unsigned char byte) const
{
    if (position.wildcard)
        return true;
    return position.value == (ignoreCase_ ? UpperAscii(byte) : byte);
}

// Looks at the byte at search.next. The candidate moves on past every start
// from which the pattern can no longer match, so that a failed partial match
// is re-examined for a shorter alignment.
bool TApdDataPacket::Advance(Search& search, const Pattern& pattern, const std::string& buffer) const
{
    size_t at = search.next++;
    for (; search.candidate <= at; ++search.candidate) {
        size_t length = at - search.candidate + 1;
        if (length > pattern.size())
            continue;
        bool prefixMatches = true;
        for (size_t i = 0; i < length && prefixMatches; ++i)
            prefixMatches =
                Matches(pattern[i], static_cast<unsigned char>(buffer[search.candidate + i]));
        if (prefixMatches)
            return length == pattern.size();
    }
    return false;
}

bool TApdDataPacket::HasEndCondition() const
{
    return (endCond_ & ecString) != 0;
}

bool TApdDataPacket::EndReached(const std::string& buffer)
{
    while (endSearch_.next < buffer.size()) {
        if (!HasEndCondition())
            ++endSearch_.next;
        else if (Advance(endSearch_, end_, buffer))
            return true;
    }
    return false;
}

void TApdDataPacket::Arm()
{
    if (!hub_)
        return;
    mode_ = dpWaitStart;
    size_t from = hub_->ScanPosition();
    startSearch_ = {from, from};
}

void TApdDataPacket::Disarm()
{
    captureTimer_.stop();
    mode_ = dpIdle;
    if (hub_)
        hub_->Released(*this);
}

void TApdDataPacket::StartCapture()
{
    mode_ = dpCollecting;
    size_t bodyStart = packetStart_ + start_.size();
    endSearch_ = {bodyStart, bodyStart};
    if (timeOutTicks_ > 0)
        captureTimer_.start(Ticks2Ms(timeOutTicks_));
}

void TApdDataPacket::CaptureTimedOut()
{
    if (hub_)
        hub_->TimedOut(*this);
}

std::string TApdDataPacket::PacketData(const std::string& buffer, size_t end) const
{
    size_t from = packetStart_;
    size_t to = end;
    if (!includeStrings_) {
        from += start_.size();
        if (mode_ == dpCollecting && (endCond_ & ecString) && endSearch_.candidate >= from)
            to = endSearch_.candidate;
    }
    return buffer.substr(from, to > from ? to - from : 0);
}

void TApdDataPacket::Deliver(const std::string& data)
{
    enabled_ = false;
    try {
        if (OnStringPacket)
            OnStringPacket(*this, data);
    } catch (const std::exception& error) {
        LogMsg("Data packet handler Exception: '%s'", error.what());
        emit HandlerFailed(QString::fromStdString(error.what()));
    }
}

void TApdDataPacket::ReportTimeout()
{
    enabled_ = false;
    try {
        if (OnTimeout)
            OnTimeout(*this);
    } catch (const std::exception& error) {
        LogMsg("Data packet handler Exception: '%s'", error.what());
        emit HandlerFailed(QString::fromStdString(error.what()));
    }
}
