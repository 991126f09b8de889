#include "app/widgets/message_box_notifier.h"

#include "base/general_log.h"

#include "app/widgets/main_window.h"

#include <QMessageBox>

void MessageBoxNotifier::ShowMessage(const std::string& text)
{
    QMessageBox::information(parent_, "Corvane", QString::fromStdString(text));
}

void MessageBoxNotifier::ShowWaiting(const std::string& reason, int retrySeconds)
{
    LogMsg("Waiting: %s", reason.c_str());
    QString text = QString::fromStdString(reason);
    if (retrySeconds > 0)
        text += QString("\nTrying again in %1 seconds.").arg(retrySeconds);
    parent_->ShowTrayMessage("Corvane is waiting", text);
}

void MessageBoxNotifier::ShowError(const std::string& text)
{
    LogMsg("Error: %s", text.c_str());
    QMessageBox::critical(parent_, "Corvane", QString::fromStdString(text));
}
