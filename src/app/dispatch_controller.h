#pragma once
#include "base/controller_state.h"
#include "sources/claim_source_host.h"
#include "sources/claim_file_source.h"
#include "sources/modem_emulator.h"
#include "sources/visa_exchange.h"
#include "transports/switch_connection.h"
#include "transports/dial_up_connection.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class FormView;
class UserNotifier;
class RelayThreadHandle;

// The hub of the main window: opens and closes the configured data source,
// starts and stops the relay from the main window's side, routes each claim
// to the switch connection, and runs Send, Cancel and Options.
class DispatchController : public QObject, public ClaimSourceHost {
    Q_OBJECT
public:
    DispatchController(FormView& view, UserNotifier& notifier, QObject* parent = nullptr);
    ~DispatchController() override;

    bool OpenDataSource();
    void CloseDataSource();

    void SendButtonClick();
    void CancelButtonClick(bool fromControl);
    void OptionButtonClick(bool fromControl);

    bool StartMxSock(bool wait);
    void StopMxSock(bool wait);
    bool HasRelayThread() const;
    // The relay thread runs and has reported that it serves.
    bool IsRelayStarted() const;
    // Exit's own bounded wait: ask, then forget a thread that did not end.
    void RequestRelayTermination();
    void ForgetRelayThread();

    // The controller has something running: a pass, the timer, the serial
    // port or the relay.
    bool IsActive() const;
    void DisableFileTimer();
    bool IsFileTimerEnabled() const;
    bool IsTapiCallActive();
    bool OptionsRunning() const { return optionsRunning_; }

    // Nobody attends the machine (headless): every wait for the user ends by
    // itself after the pause, as if Send were pressed.
    void SetUnattended(bool unattended) { unattended_ = unattended; }
    void SetResumePause(int milliseconds) { resumePauseMs_ = milliseconds; }
    bool IsResumePending() const { return resumeTimer_.isActive(); }

    // Shows the Options panel modally; true when it closed with OK. Without
    // one (headless), the panel's checks of the stored settings are reported
    // instead and the answer is Cancel.
    using OptionsPanel = std::function<bool()>;
    void SetOptionsPanel(OptionsPanel panel) { optionsPanel_ = std::move(panel); }

    ModemEmulator& Modem() { return modem_; }
    SwitchConnection& Switch() { return switch_; }

    // Dial-up networking: the connection Corvane dialled is hung up when the
    // main window ends; one found up from another program is left up.
    DialUpConnection& DialUp() { return dialUp_; }
    void HangUpDialUpAtExit() { dialUp_.HangUpAtExit(); }

    // ClaimSourceHost
    ControllerState& State() override { return state_; }
    void SetStatusText(const std::string& text) override;
    void ProcessMessages() override;
    bool IsSwitchPortOpen() override;
    void ConnectToSwitch() override;
    int SndBuf(const std::string& claim, std::string& response) override;
    bool IsSwitchConnectionOpen() override;
    void CloseSwitchConnection() override;
    void ShowError(const std::string& text) override;
    void WaitForUser(const std::string& reason) override;

signals:
    void RelayThreadChanged();

private:
    void ClearFailureState();
    bool OpenSerialDataSource();
    // The NO CARRIER report, then the port closes; errors are logged with
    // the operation's name and do not stop the sequence.
    void HangUpSourcePort(const char* operation);
    void WriteEot(const char* operation);
    void OnSwitchSocketError();
    void OnRelayStarted();
    void OnRelayTerminated();
    // Before the socket connect: dial when dial-up is selected and down.
    void DialUpBeforeConnect();
    // Send's and Options' open: an error is shown, and waited out unattended.
    bool OpenDataSourceShowingErrors();
    // Says what Corvane waits for; with resume, Send runs after the pause.
    void Wait(const std::string& reason, bool resume);
    void ReportSettingsProblems();

    FormView& view_;
    UserNotifier& notifier_;
    ControllerState state_;
    ClaimFileSource fileSource_;
    SwitchConnection switch_;
    ModemEmulator modem_;
    VisaExchange visa_;
    std::unique_ptr<RelayThreadHandle> mxThread_;
    bool versionLogged_ = false;
    bool optionsRunning_ = false;
    bool unattended_ = false;
    int resumePauseMs_ = 60000;
    QTimer resumeTimer_;
    OptionsPanel optionsPanel_;
    DialUpConnection dialUp_{state_, view_, switch_.ApdComPort};
};
