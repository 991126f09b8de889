#pragma once
#include "app/user_notifier.h"

class MainWindow;

class MessageBoxNotifier : public UserNotifier {
public:
    explicit MessageBoxNotifier(MainWindow* parent) : parent_(parent) {}
    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowWaiting(const std::string& reason, int retrySeconds) override;

private:
    MainWindow* parent_;
};
