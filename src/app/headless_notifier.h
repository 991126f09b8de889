#pragma once
#include "app/user_notifier.h"

// Without a display, boxes become general-log lines and standard-error lines.
class HeadlessNotifier : public UserNotifier {
public:
    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowWaiting(const std::string& reason, int retrySeconds) override;
};
