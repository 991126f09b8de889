#pragma once
#include "switch_options.h"

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

using SteadyClock = std::chrono::steady_clock;

struct PendingAnswer {
    std::string sequence;    // the claim's 12-byte sequence field
    std::string data;        // plain answer data
    bool badLength = false;  // write the requested wrong length field
    SteadyClock::time_point due;
};

// The fault logic of one connection: decides what becomes of each claim and
// in which order and when the answers go out.
class AnswerSchedule {
public:
    enum class Action { Answer, Drop, Close };

    explicit AnswerSchedule(const FaultOptions& faults);

    // The next claim of the connection has arrived with its answer ready.
    Action admit(PendingAnswer answer, SteadyClock::time_point arrived);
    // When the first answer waiting to be sent is due.
    std::optional<SteadyClock::time_point> nextDue() const;
    // The answers due at now, in sending order.
    std::vector<PendingAnswer> takeDue(SteadyClock::time_point now);

private:
    void releaseBatch();

    FaultOptions faults_;
    int claims_ = 0;
    std::vector<PendingAnswer> batch_;  // a reverse batch being filled
    std::deque<PendingAnswer> ready_;   // sending order
};
