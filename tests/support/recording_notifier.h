#pragma once
#include "app/user_notifier.h"

#include <string>
#include <vector>

// Remembers the boxes the program would have shown.
class RecordingNotifier : public UserNotifier {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void ShowWaiting(const std::string& reason, int retrySeconds) override
    {
        waits.push_back({reason, retrySeconds});
    }

    struct Wait {
        std::string reason;
        int retrySeconds = 0;
    };

    std::vector<std::string> messages;
    std::vector<std::string> errors;
    std::vector<Wait> waits;
};
