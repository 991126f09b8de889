#include "app/dispatch_controller.h"

#include "base/claim_error.h"
#include "base/form_view.h"
#include "base/general_log.h"
#include "app/wait_until.h"
#include "app/options/settings_report.h"
#include "config/log_settings.h"
#include "app/relay_thread_handle.h"
#include "app/user_notifier.h"
#include "config/settings.h"

#include <QCoreApplication>

DispatchController::DispatchController(FormView& view, UserNotifier& notifier, QObject* parent)
    : QObject(parent)
    , view_(view)
    , notifier_(notifier)
    , fileSource_(*this)
    , switch_(state_, view, [this](bool wait) { return StartMxSock(wait); })
    , modem_(*this)
    , visa_(*this, modem_)
{
    connect(&switch_, &SwitchConnection::SocketErrorReported, this,
            &DispatchController::OnSwitchSocketError);
    switch_.SetDialUpStep([this] { DialUpBeforeConnect(); });
    resumeTimer_.setSingleShot(true);
    connect(&resumeTimer_, &QTimer::timeout, this, [this] {
        LogMsg("Trying again after waiting.");
        SendButtonClick();
    });
}

DispatchController::~DispatchController() = default;

void DispatchController::ClearFailureState()
{
    state_.failureCounted = false;
    state_.cancelRequested = false;
    state_.failureCount = 0;
}

bool DispatchController::IsActive() const
{
    return state_.filePassBusy || fileSource_.IsTimerEnabled() || modem_.IsSourcePortOpen() ||
           mxThread_ != nullptr;
}

void DispatchController::DisableFileTimer()
{
    fileSource_.DisableTimer();
}

bool DispatchController::IsFileTimerEnabled() const
{
    return fileSource_.IsTimerEnabled();
}

bool DispatchController::IsTapiCallActive()
{
    return switch_.Modem().IsCallActive();
}

bool DispatchController::OpenDataSource()
{
    if (!versionLogged_) {
        LogVersion();
        versionLogged_ = true;
    }
    ClearFailureState();
    if (IsActive())
        return true;
    SetStatusText("");
    if (!IsConnectionConfigured()) {
        SetStatusText("User input required to configure Network/TAPI/SSL settings!");
        return false;
    }
    if (!IsDataSourceConfigured()) {
        SetStatusText("User input required to configure input data source!");
        return false;
    }
    modem_.UseProfile(PharmacyProfile(GetPharmacyConfig()));
    LogMsg("OpenDataSource:  PharmacyConfig=%d", modem_.Profile().Number());

    if (IsDialUpSelected() && GetConnectOnStartup())
        dialUp_.EstablishDialUpConnection();

    if (IsDataSourceFile()) {
        fileSource_.Activate();
        LogMsg("OpenDataSource:  Activated File Data Source timer.");
        return true;
    }
    if (IsDataSourceSerialPort())
        return OpenSerialDataSource();

    LogMsg("Calling StartMxSock() from OpenDataSource().");
    if (StartMxSock(true))
        return true;
    SetStatusText("SSL connection failure -- User input required!");
    // The settings are complete; the switch or the inbound port is what
    // failed, so the pharmacy's port is opened again after the pause.
    Wait("The relay did not start: no switch host could be reached, or the inbound port is "
         "in use.  See the network log.",
         true);
    return true;
}

bool DispatchController::OpenSerialDataSource()
{
    modem_.DropDtr();
    try {
        modem_.CloseSourcePort();
    } catch (const std::exception& error) {
        LogMsg("CloseDataSource Exception: '%s'", error.what());
    }
    modem_.ConfigureSourcePort();
    modem_.OpenSourcePort();
    LogMsg("OpenDataSource called for Serial Port Data Source.");
    SetStatusText("Waiting for claim on serial port.");
    return true;
}

void DispatchController::HangUpSourcePort(const char* operation)
{
    try {
        modem_.SendNoCarrier();
    } catch (const std::exception& error) {
        LogMsg("%s Exception: '%s'", operation, error.what());
    }
    ProcessMessages();
    try {
        modem_.CloseSourcePort();
    } catch (const std::exception& error) {
        LogMsg("%s Exception: '%s'", operation, error.what());
    }
}

void DispatchController::WriteEot(const char* operation)
{
    try {
        modem_.Write(std::string(1, '\x04'));
    } catch (const std::exception& error) {
        LogMsg("%s Exception: '%s'", operation, error.what());
    }
}

void DispatchController::CloseDataSource()
{
    LogMsg("CloseDataSource called");
    resumeTimer_.stop();
    DisableFileTimer();
    if (modem_.SourcePort().Open()) {
        WriteEot("CloseDataSource");
        modem_.DropDtr();
        if (modem_.Profile().DropsRtsWithCarrier())
            modem_.DropRts("Lowering serial port RTS.");
        HangUpSourcePort("CloseDataSource");
    }
    if (mxThread_)
        StopMxSock(true);
    SetStatusText("Data source is closed/disabled.");
}

void DispatchController::SendButtonClick()
{
    resumeTimer_.stop();
    ClearFailureState();
    DisableFileTimer();
    if (OpenDataSourceShowingErrors())
        return;
    notifier_.ShowMessage("Set Connection and Data Source parameters in the Options Panel.");
    WaitForUser("Set Connection and Data Source parameters in the Options Panel.");
}

void DispatchController::CancelButtonClick(bool fromControl)
{
    LogMsg(fromControl ? "Cancel Button Clicked" : "Cancel operation invoked");
    state_.cancelRequested = true;
    resumeTimer_.stop();
    SetStatusText("Closing Tuq Connection for Cancel Operation");
    LogMsg("Closing Tuq Connection due to Cancel Operation.");
    CloseSwitchConnection();
    if (IsFileTimerEnabled())
        DisableFileTimer();
    if (modem_.SourcePort().Open()) {
        LogMsg("Closing serial port datasource...");
        LogMsg("Dropping serial port DTR.");
        modem_.SourcePort().SetDTR(false);
        if (modem_.Profile().DropsRtsOnCancel()) {
            LogMsg("Dropping serial port RTS.");
            modem_.SourcePort().SetRTS(false);
        }
        LogMsg("Sending EOT, 'NO CARRIER', and '+++' to serial port.");
        WriteEot("CancelButtonClick");
        HangUpSourcePort("CancelButtonClick");
    }
    if (mxThread_)
        StopMxSock(true);
    SetStatusText("Awaiting user input to continue (Cancel button clicked).");
}

void DispatchController::OptionButtonClick(bool fromControl)
{
    optionsRunning_ = true;
    LogMsg(fromControl ? "Options Button Clicked." : "Options Button Invoked.");
    state_.cancelRequested = true;
    DisableFileTimer();
    ProcessMessages();
    DisableFileTimer();

    try {
        CloseDataSource();
        if (IsSwitchConnectionOpen() || IsTapiCallActive())
            CloseSwitchConnection();
        ClearFailureState();

        SetStatusText("Displaying Options panel...");
        bool reopened = false;
        if (optionsPanel_ && optionsPanel_()) {
            LogMsg("Options panel returned 'OK'.");
            LoadLogSettings();
            if (IsConnectionConfigured() && IsDataSourceConfigured()) {
                SetStatusText("");
                OpenDataSourceShowingErrors();
                reopened = true;
            }
        } else {
            if (!optionsPanel_)
                ReportSettingsProblems();
            LogMsg("Options panel returned 'Cancel'.");
        }

        if (!IsConnectionConfigured() || !IsDataSourceConfigured()) {
            SetStatusText("Connection and data source are not configured properly!");
            WaitForUser("Connection and data source are not configured properly!");
        } else if (!reopened) {
            // Cancelled: the previous settings are resumed.
            SetStatusText("");
            OpenDataSourceShowingErrors();
        }
    } catch (...) {
        optionsRunning_ = false;
        throw;
    }
    optionsRunning_ = false;
    LogMsg("End of Options Button Click action.");
}

bool DispatchController::HasRelayThread() const
{
    return mxThread_ != nullptr;
}

bool DispatchController::IsRelayStarted() const
{
    return mxThread_ && mxThread_->HasStarted();
}

bool DispatchController::StartMxSock(bool wait)
{
    if (mxThread_ && mxThread_->IsStopping())
        WaitUntil([this] { return mxThread_ == nullptr; }, -1, 250);
    if (mxThread_) {
        LogMsg("MxSock already running.");
        return true;
    }
    if (!GetEnableNetwork1() && !GetEnableNetwork2() && !GetEnableNetwork3() && !IsDataSourceSocketPort())
        return true;

    LogMsg("Creating MxSock thread.");
    std::function<void()> establishDialUp;
    if (IsDialUpSelected())
        establishDialUp = [this] { dialUp_.MxEstablishDialUpConnection(); };
    RelayThreadHandle::SendViaTapi sendViaTapi;
    if (GetConnectViaTapi() && IsDataSourceSocketPort())
        sendViaTapi = [this](const std::string& request, std::string& response) {
            return switch_.Modem().MxSendViaTapi(request, response);
        };
    mxThread_ = std::make_unique<RelayThreadHandle>(establishDialUp, sendViaTapi);
    connect(mxThread_.get(), &RelayThreadHandle::Started, this, &DispatchController::OnRelayStarted);
    connect(mxThread_.get(), &RelayThreadHandle::Terminated, this, &DispatchController::OnRelayTerminated);
    emit RelayThreadChanged();

    LogMsg("Starting MxSock thread.");
    mxThread_->Start();
    if (!wait)
        return true;

    LogMsg("Waiting for MxSock to notify of successful start.");
    WaitUntil([this] { return !mxThread_ || mxThread_->HasStarted() || state_.cancelRequested; }, -1, 250);
    if (IsRelayStarted()) {
        LogMsg("MxSock successfully started.");
        return true;
    }
    LogMsg("MxSock was not started.");
    return false;
}

void DispatchController::StopMxSock(bool wait)
{
    if (!mxThread_)
        return;
    if (mxThread_->IsStopping()) {
        LogMsg("Still terminating MxSock thread.");
        return;
    }
    LogMsg("Terminating MxSock thread.");
    mxThread_->RequestTerminate();
    if (!wait)
        return;
    LogMsg("Waiting for MxSock to terminate...");
    WaitUntil([this] { return mxThread_ == nullptr; }, -1, 250);
    LogMsg("After waiting for MxSock to terminate.");
}

void DispatchController::RequestRelayTermination()
{
    if (!mxThread_)
        return;
    mxThread_->RequestTerminate();
}

void DispatchController::ForgetRelayThread()
{
    if (mxThread_)
        mxThread_.release()->DetachRunaway();
    emit RelayThreadChanged();
}

void DispatchController::OnRelayStarted()
{
    LogMsg("Received MxSock thread started notification.");
}

void DispatchController::OnRelayTerminated()
{
    // The handle is the sender of this notification: free it afterwards.
    if (mxThread_)
        mxThread_.release()->deleteLater();
    emit RelayThreadChanged();
    LogMsg("Received MxSock thread terminated notification.");
}

void DispatchController::SetStatusText(const std::string& text)
{
    view_.SetStatusText(QString::fromStdString(text));
}

void DispatchController::ProcessMessages()
{
    QCoreApplication::processEvents();
}

bool DispatchController::IsSwitchPortOpen()
{
    return switch_.IsPortOpen();
}

void DispatchController::ConnectToSwitch()
{
    switch_.ConnectToSwitch();
}

int DispatchController::SndBuf(const std::string& claim, std::string& response)
{
    LogVersion();
    LogMsg("SndBuf(%d)(%s)", static_cast<int>(claim.size()), PrintableText(claim).c_str());
    CheckNcpdpData(claim.data(), static_cast<int>(claim.size()), LogMsg);
    if (switch_.IsSocketMode())
        return switch_.SocketExchange(claim, response);
    return switch_.Modem().VisaSendViaModem(claim, response);
}

bool DispatchController::IsSwitchConnectionOpen()
{
    return switch_.IsPortOpen() || mxThread_ != nullptr;
}

void DispatchController::CloseSwitchConnection()
{
    if (!mxThread_ && !switch_.IsPortOpen() && !IsTapiCallActive())
        return;
    LogMsg("Closing connection to Tuq");
    switch_.CloseSocket();
    if (switch_.IsPortOpen() || IsTapiCallActive()) {
        LogMsg("Closing the TAPI port");
        if (IsTapiCallActive())
            LogMsg("Calling CancelCall");
        switch_.Modem().CloseCall();
    }
    if (mxThread_)
        StopMxSock(true);
}

void DispatchController::ShowError(const std::string& text)
{
    notifier_.ShowError(text);
}

// The link to the relay failed under a serial call: the pharmacy system
// hears the line drop.
void DispatchController::OnSwitchSocketError()
{
    if (!modem_.SourcePort().Open())
        return;
    try {
        modem_.HangUpWithEot();
    } catch (const std::exception& error) {
        LogMsg("Could not tell the serial port of the lost connection:  '%s'", error.what());
    }
    LogMsg("Disconnect from Tuq.");
    CloseSwitchConnection();
}

void DispatchController::DialUpBeforeConnect()
{
    if (!IsDialUpSelected() || dialUp_.IsDialUpConnectionEstablished())
        return;
    StopMxSock(true);
    dialUp_.EstablishDialUpConnection();
}

// Send and Options run from the event loop, where an exception has nowhere
// to go: a source that cannot open (a failed dial) is reported here.
bool DispatchController::OpenDataSourceShowingErrors()
{
    try {
        return OpenDataSource();
    } catch (const std::exception& error) {
        ShowError(error.what());
        WaitForUser(error.what());
        return true;
    }
}

// Each failure on its own line, as corvane --check-config prints it; the
// data source and the relay are closed, so the inbound port is tried.
void DispatchController::ReportSettingsProblems()
{
    for (const OptionsFailure& failure : CheckStoredSettings(ListenTest::Open))
        notifier_.ShowMessage(FailureLine(failure));
}

void DispatchController::WaitForUser(const std::string& reason)
{
    Wait(reason, unattended_);
}

void DispatchController::Wait(const std::string& reason, bool resume)
{
    notifier_.ShowWaiting(reason, resume ? (resumePauseMs_ + 999) / 1000 : 0);
    if (resume)
        resumeTimer_.start(resumePauseMs_);
}
