#include "visa_switch.h"

#include "base/format_text.h"
#include "paid_response.h"
#include "base/lrc.h"

namespace {

constexpr char STX = 0x02;
constexpr char ETX = 0x03;
constexpr char EOT = 0x04;
constexpr char ENQ = 0x05;
constexpr char ACK = 0x06;
constexpr char NAK = 0x15;
constexpr size_t maxClaim = 8192;

std::string Frame(const std::string& text, bool wrongLrc)
{
    const char lrc = static_cast<char>(ComputeLrc(text) ^ (wrongLrc ? 0x01 : 0x00));
    return STX + text + ETX + lrc;
}

VisaSwitch::Reply Say(std::string bytes, std::string event = {})
{
    VisaSwitch::Reply reply;
    reply.bytes = std::move(bytes);
    reply.event = std::move(event);
    return reply;
}

}  // namespace

VisaSwitch::VisaSwitch(const ModemOptions& options, unsigned& authorizations)
    : options_(options), authorizations_(authorizations)
{
}

std::string VisaSwitch::greeting() const
{
    return options_.noEnq ? std::string() : std::string(1, ENQ);
}

VisaSwitch::Reply VisaSwitch::take(char byte)
{
    return state_ == State::Waiting ? takeOutsideFrame(byte) : takeFrameByte(byte);
}

VisaSwitch::Reply VisaSwitch::takeOutsideFrame(char byte)
{
    switch (byte) {
    case STX:
        state_ = State::InFrame;
        claim_.clear();
        return {};
    case EOT: {
        Reply reply = Say({}, "caller sent EOT, hanging up");
        reply.hangUp = true;
        return reply;
    }
    case ACK:
        return response_.empty() ? Reply{} : acknowledged();
    case NAK:
        return response_.empty() ? Reply{} : resendResponse();
    default: {
        Reply reply;
        reply.stray = true;
        return reply;
    }
    }
}

VisaSwitch::Reply VisaSwitch::takeFrameByte(char byte)
{
    if (state_ == State::AwaitingLrc) {
        state_ = State::Waiting;
        if (static_cast<unsigned char>(byte) != ComputeLrc(claim_))
            return Say(std::string(1, NAK), FormatText("claim frame with a wrong check byte (%zu bytes), NAK",
                                                       claim_.size()));
        return answerClaim();
    }
    if (byte == ETX) {
        state_ = State::AwaitingLrc;
        return {};
    }
    if (byte == STX) {
        // A new frame starts over a broken one.
        claim_.clear();
        return {};
    }
    claim_ += byte;
    if (claim_.size() > maxClaim) {
        state_ = State::Waiting;
        return Say(std::string(1, NAK), "claim frame longer than 8192 bytes, NAK");
    }
    return {};
}

VisaSwitch::Reply VisaSwitch::answerClaim()
{
    if (options_.nakFirst && !nakSent_) {
        nakSent_ = true;
        return Say(std::string(1, NAK), "first claim frame of the call, NAK as asked");
    }
    ++claims_;
    if (options_.silentAfterFrame)
        return Say({}, FormatText("claim %d (%zu bytes) left unanswered", claims_, claim_.size()));
    const unsigned authorization = ++authorizations_;
    const std::string text = BuildPaidResponse(claim_, authorization);
    response_ = Frame(text, false);
    const bool wrongLrc = options_.badLrc && !badLrcSent_;
    badLrcSent_ = badLrcSent_ || wrongLrc;
    return Say(Frame(text, wrongLrc), FormatText("claim %d (%zu bytes) paid, authorization %u%s", claims_,
                                                 claim_.size(), authorization,
                                                 wrongLrc ? ", wrong check byte as asked" : ""));
}

VisaSwitch::Reply VisaSwitch::acknowledged()
{
    response_.clear();
    if (!options_.eotInsteadOfEnq)
        return Say(greeting());
    Reply reply = Say(std::string(1, EOT), "response acknowledged, EOT and hanging up as asked");
    reply.hangUp = true;
    return reply;
}

VisaSwitch::Reply VisaSwitch::resendResponse()
{
    return Say(response_, "NAK for the response, sending it again");
}
