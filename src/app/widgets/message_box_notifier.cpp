#include "app/widgets/message_box_notifier.h"

#include "base/general_log.h"

#include <QMessageBox>

void MessageBoxNotifier::ShowMessage(const std::string& text)
{
    QMessageBox::information(parent_, "Corvane", QString::fromStdString(text));
}

void MessageBoxNotifier::ShowError(const std::string& text)
{
    LogMsg("Error: %s", text.c_str());
    QMessageBox::critical(parent_, "Corvane", QString::fromStdString(text));
}
