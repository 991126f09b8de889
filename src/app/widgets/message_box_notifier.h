#pragma once
#include "app/user_notifier.h"

class QWidget;

class MessageBoxNotifier : public UserNotifier {
public:
    explicit MessageBoxNotifier(QWidget* parent) : parent_(parent) {}
    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;

private:
    QWidget* parent_;
};
