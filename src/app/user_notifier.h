#pragma once
#include <string>

// Message boxes, error boxes and questions: widgets in the program, log lines
// and standard error in headless mode, a recorder in tests.
class UserNotifier {
public:
    virtual ~UserNotifier() = default;
    // An information box ("Set Connection and Data Source parameters ...").
    virtual void ShowMessage(const std::string& text) = 0;
    // The standard error box for an error that left an event handler.
    virtual void ShowError(const std::string& text) = 0;
};
