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
    // Corvane waits for the user: a tray notification with the window, a
    // standard-error line headless. retrySeconds > 0: it tries again by
    // itself after that pause.
    virtual void ShowWaiting(const std::string& reason, int retrySeconds) = 0;
};
