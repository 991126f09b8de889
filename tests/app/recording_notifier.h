#pragma once
#include "app/user_notifier.h"

#include <string>
#include <vector>

// Remembers the boxes the program would have shown.
class RecordingNotifier : public UserNotifier {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowError(const std::string& text) override { errors.push_back(text); }

    std::vector<std::string> messages;
    std::vector<std::string> errors;
};
