#include "answer_schedule.h"

#include <algorithm>

AnswerSchedule::AnswerSchedule(const FaultOptions& faults) : faults_(faults) {}

AnswerSchedule::Action AnswerSchedule::admit(PendingAnswer answer, SteadyClock::time_point arrived)
{
    ++claims_;
    answer.due = arrived;
    if (claims_ < faults_.fromClaim) {
        ready_.push_back(std::move(answer));
        return Action::Answer;
    }
    if (faults_.closeConnection)
        return Action::Close;
    if (faults_.noAnswer)
        return Action::Drop;

    answer.due += std::chrono::milliseconds(faults_.delayMs);
    answer.badLength = faults_.lengthField.has_value();
    if (faults_.reverseBatch < 2) {
        ready_.push_back(std::move(answer));
        return Action::Answer;
    }
    batch_.push_back(std::move(answer));
    if (batch_.size() == static_cast<size_t>(faults_.reverseBatch))
        releaseBatch();
    return Action::Answer;
}

void AnswerSchedule::releaseBatch()
{
    // The batch goes out together once its last answer is due.
    SteadyClock::time_point due = batch_.back().due;
    for (auto it = batch_.rbegin(); it != batch_.rend(); ++it) {
        it->due = due;
        ready_.push_back(std::move(*it));
    }
    batch_.clear();
}

std::optional<SteadyClock::time_point> AnswerSchedule::nextDue() const
{
    if (ready_.empty())
        return std::nullopt;
    return ready_.front().due;
}

std::vector<PendingAnswer> AnswerSchedule::takeDue(SteadyClock::time_point now)
{
    std::vector<PendingAnswer> due;
    while (!ready_.empty() && ready_.front().due <= now) {
        due.push_back(std::move(ready_.front()));
        ready_.pop_front();
    }
    return due;
}
