#include "ports/packet_hub.h"

#include "ports/data_packet.h"

#include <algorithm>

PacketHub& PacketHub::For(TApdWinsockPort& port)
{
    auto* hub = port.findChild<PacketHub*>(QString(), Qt::FindDirectChildrenOnly);
    return hub ? *hub : *new PacketHub(port);
}

PacketHub::PacketHub(TApdWinsockPort& port) : QObject(&port), port_(port)
{
    port_.AddListener(this, ListenerRank::PacketMatcher);
}

// Runs while the port itself is being destroyed: only the matchers are told.
PacketHub::~PacketHub()
{
    for (TApdDataPacket* matcher : matchers_)
        matcher->hub_ = nullptr;
}

void PacketHub::Add(TApdDataPacket* matcher)
{
    matchers_.push_back(matcher);
}

void PacketHub::Remove(TApdDataPacket* matcher)
{
    if (capturing_ == matcher)
        capturing_ = nullptr;
    std::erase(matchers_, matcher);
}

void PacketHub::PortAvail(int count)
{
    std::string bytes = port_.GetBlock(count);
    if (handlerDepth_ > 0) {
        held_ += bytes;
        return;
    }
    buffer_ += bytes;
    Scan();
}

void PacketHub::PortOpened()
{
    for (TApdDataPacket* matcher : matchers_)
        if (matcher->Enabled())
            matcher->Arm();
}

void PacketHub::PortClosing()
{
    buffer_.clear();
    held_.clear();
    scanned_ = 0;
    capturing_ = nullptr;
    for (TApdDataPacket* matcher : matchers_) {
        matcher->captureTimer_.stop();
        matcher->mode_ = dpIdle;
    }
}

void PacketHub::Scan()
{
    if (handlerDepth_ > 0 || scanning_)
        return;
    scanning_ = true;
    for (;;) {
        if (capturing_) {
            TApdDataPacket& matcher = *capturing_;
            if (!matcher.EndReached(buffer_))
                break;
            Complete(matcher, matcher.endSearch_.next);
            continue;
        }
        if (scanned_ >= buffer_.size() || !ScanOneByte())
            break;
    }
    DropUnheldBytes();
    scanning_ = false;
}

// Shows the next byte to every waiting matcher in turn; true while scanning
// should go on.
bool PacketHub::ScanOneByte()
{
    for (TApdDataPacket* matcher : std::vector<TApdDataPacket*>(matchers_)) {
        if (matcher->mode_ != dpWaitStart)
            continue;
        if (!matcher->Advance(matcher->startSearch_, matcher->start_, buffer_))
            continue;
        matcher->packetStart_ = matcher->startSearch_.candidate;
        if (matcher->HasEndCondition()) {
            ++scanned_;
            BeginCapture(*matcher);
        } else {
            Complete(*matcher, matcher->startSearch_.next);
        }
        return true;
    }
    ++scanned_;
    return true;
}

void PacketHub::BeginCapture(TApdDataPacket& matcher)
{
    // Bytes ahead of the packet belong to nobody now.
    size_t start = matcher.packetStart_;
    buffer_.erase(0, start);
    matcher.packetStart_ = 0;
    scanned_ -= start;
    capturing_ = &matcher;
    matcher.StartCapture();
    for (TApdDataPacket* other : matchers_)
        if (other != &matcher && other->mode_ == dpWaitStart)
            other->startSearch_ = {scanned_, scanned_};
}

void PacketHub::Complete(TApdDataPacket& matcher, size_t end)
{
    std::string data = matcher.PacketData(buffer_, end);
    capturing_ = nullptr;
    matcher.Disarm();
    buffer_.erase(0, end);
    scanned_ = 0;
    ResetWaitingMatchers();
    HoldWhile([&] {
        matcher.Deliver(data);
        if (matcher.autoEnable_ && !matcher.Enabled())
            matcher.SetEnabled(true);
    });
}

void PacketHub::TimedOut(TApdDataPacket& matcher)
{
    if (capturing_ != &matcher)
        return;
    capturing_ = nullptr;
    matcher.Disarm();
    if (matcher.flushOnTimeout_)
        buffer_.erase(matcher.packetStart_);
    scanned_ = buffer_.size();
    ResetWaitingMatchers();
    HoldWhile([&] { matcher.ReportTimeout(); });
    Scan();
}

void PacketHub::Released(TApdDataPacket& matcher)
{
    if (capturing_ == &matcher)
        capturing_ = nullptr;
}

template <typename Handler>
void PacketHub::HoldWhile(Handler handler)
{
    ++handlerDepth_;
    handler();
    --handlerDepth_;
    if (handlerDepth_ == 0) {
        buffer_ += held_;
        held_.clear();
    }
}

void PacketHub::ResetWaitingMatchers()
{
    for (TApdDataPacket* matcher : matchers_)
        if (matcher->mode_ == dpWaitStart)
            matcher->startSearch_ = {scanned_, scanned_};
}

// Bytes that no waiting matcher may still need are gone for good; a matcher
// armed later does not see them.
void PacketHub::DropUnheldBytes()
{
    if (capturing_)
        return;
    size_t keep = scanned_;
    for (TApdDataPacket* matcher : matchers_)
        if (matcher->mode_ == dpWaitStart)
            keep = std::min(keep, matcher->startSearch_.candidate);
    if (keep == 0)
        return;
    buffer_.erase(0, keep);
    scanned_ -= keep;
    for (TApdDataPacket* matcher : matchers_) {
        if (matcher->mode_ != dpWaitStart)
            continue;
        matcher->startSearch_.candidate -= keep;
        matcher->startSearch_.next -= keep;
    }
}
