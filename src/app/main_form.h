#pragma once
#include "app/command_line.h"
#include "app/dispatch_controller.h"

#include <QObject>
#include <QTimer>

class FormView;
class UserNotifier;

// What the window's actions show, from the controller's state and the
// cached log settings.
struct ActionStates {
    bool send = false;
    bool cancel = false;
    bool options = false;
    bool log = false;
    bool netLog = false;
    bool claimDirectoryActive = false;
    bool serialPortActive = false;
    bool socketPortActive = false;
};

// The main window's logic: geometry and title at creation, the start-up
// tick, Close, Open and Exit. What it shows goes through a FormView, so the
// same form runs with a window, headless, or under test.
class TFendralForm : public QObject {
    Q_OBJECT
public:
    static constexpr int DesignedWidth = 525;
    static constexpr int DesignedHeight = 250;

    TFendralForm(const CommandLine& commandLine, FormView& view, UserNotifier& notifier,
                 QObject* parent = nullptr);
    ~TFendralForm() override;

    DispatchController& Controller() { return controller_; }
    QString Title() const { return title_; }
    bool OptionsEnabled() const { return optionsEnabled_; }
    bool StartupTimerActive() const { return startupTimer_.isActive(); }
    ActionStates CurrentActionStates();

public slots:
    void StartupTimerTimer();
    void ExitClick(bool fromControl);
    void FormClose();
    void OpenClick();
    // The tray menu's Options: the window first, then the Options sequence.
    void OptionsItemClick();
    // Log and Net Log: the log file in the desktop's text viewer, when that
    // log is on. A viewer that does not start is not worth a message.
    void OpenDebugFilesButtonClick();
    void OpenDebugNetFilesButtonClick();
    // The desktop session is ending: leave as Exit does.
    void SessionEnding();

signals:
    // Exit has finished; the program ends its event loop on it.
    void ExitFinished();

private:
    void RestoreGeometry();
    void ComposeTitle();
    void StoreGeometry();
    void StoreVisibility();
    void WaitForRelayOnExit();
    void FormDestroy();

    CommandLine commandLine_;
    FormView& view_;
    UserNotifier& notifier_;
    DispatchController controller_;
    QTimer startupTimer_;
    QString title_;
    bool optionsEnabled_ = true;
};
