#pragma once
#include <QLocalServer>
#include <QObject>
#include <string>

// A second start on a desktop asks the running Corvane of the configuration
// to show its window, instead of leaving without a trace.
class ShowRequestListener : public QObject {
    Q_OBJECT
public:
    // Only the process that holds the configuration's lock listens.
    explicit ShowRequestListener(const std::string& configName, QObject* parent = nullptr);

signals:
    void ShowRequested();

private:
    void Answer();

    QLocalServer server_;
};

// True when the running Corvane of the configuration took the request.
bool AskRunningToShow(const std::string& configName);
