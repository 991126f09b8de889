#include "app/main_form.h"

#include "base/form_view.h"
#include "base/general_log.h"
#include "config/log_settings.h"
#include "app/wait_until.h"
#include "app/user_notifier.h"
#include "config/settings.h"
#include "relay/security_flag.h"
#include "base/system_path.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>
#include <algorithm>

namespace {

const char* const DesignedTitle = "Corvane";

void OpenInViewer(const std::string& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(ToSystemPath(path))));
}

} // namespace

TFendralForm::TFendralForm(const CommandLine& commandLine, FormView& view,
                           UserNotifier& notifier, QObject* parent)
    : QObject(parent)
    , commandLine_(commandLine)
    , view_(view)
    , notifier_(notifier)
    , controller_(view, notifier)
{
    RestoreGeometry();
    ComposeTitle();
    if (commandLine_.noTrayIcon) {
        LogMsg("Tray Icon is Disabled");
        view_.SetTrayIconShown(false);
    } else {
        view_.SetTrayIconShown(true);
    }

    startupTimer_.setSingleShot(true);
    startupTimer_.setInterval(1000);
    connect(&startupTimer_, &QTimer::timeout, this, &TFendralForm::StartupTimerTimer);
    startupTimer_.start();
}

TFendralForm::~TFendralForm()
{
    FormDestroy();
    LogMsg("");
    LogMsg("******** Corvane Exited ********");
    LogMsg("");
}

void TFendralForm::RestoreGeometry()
{
    QRect rect(0, 0, DesignedWidth, DesignedHeight);
    bool shown = true;
    bool stored = false;
    try {
        if (ValueExists(SettingsSection::Main, "Height")) {
            rect = QRect(GetLeft(), GetTop(), GetWidth(DesignedWidth), GetHeight(DesignedHeight));
            shown = GetVisible();
            stored = true;
        }
    } catch (const SettingsError& error) {
        LogMsg("Corvane:  Exception '%s'", error.what());
    }
    QRect area = view_.ScreenArea(rect);
    rect.setWidth(std::min(rect.width(), area.width()));
    rect.setHeight(std::min(rect.height(), area.height()));
    if (stored) {
        // A place stored for another screen must not leave the window where
        // the user never finds it.
        rect.moveTo(std::clamp(rect.x(), area.left(), area.right() + 1 - rect.width()),
                    std::clamp(rect.y(), area.top(), area.bottom() + 1 - rect.height()));
    } else {
        rect.moveTo(area.x() + (area.width() - rect.width()) / 2, area.y() + (area.height() - rect.height()) / 2);
    }
    view_.SetGeometry(rect);
    view_.SetShown(shown);
}

void TFendralForm::ComposeTitle()
{
    QString title = DesignedTitle;
    try {
        if (ValueExists(SettingsSection::Main, "MainFormCaption"))
            title = QString::fromStdString(GetMainFormCaption());
    } catch (const SettingsError& error) {
        LogMsg("Corvane:  Exception '%s'", error.what());
    }
    std::string name = GetConfigName();
    if (!name.empty())
        title += " - " + QString::fromStdString(name);
    if (commandLine_.noSecurity) {
        SetSecurityDisabled(true);
        LogMsg("Outbound Security Disabled");
        title += " (NoSecurity)";
    }
    title_ = title;
    view_.SetTitle(title);
}

void TFendralForm::StoreGeometry()
{
    if (!view_.HasWindow())
        return;
    QRect rect = view_.Geometry();
    try {
        SetLeft(rect.x());
        SetTop(rect.y());
        SetWidth(rect.width());
        SetHeight(rect.height());
    } catch (const SettingsError& error) {
        // The window's place is not worth stopping a close or an exit for.
        LogMsg("Store geometry Exception: '%s'", error.what());
    }
}

void TFendralForm::StoreVisibility()
{
    if (!view_.HasWindow())
        return;
    try {
        SetVisible(view_.IsShown());
    } catch (const SettingsError& error) {
        LogMsg("Store geometry Exception: '%s'", error.what());
    }
}

void TFendralForm::StartupTimerTimer()
{
    startupTimer_.stop();
    if (std::optional<std::string> error = LoadLogSettings())
        notifier_.ShowError(*error);
    bool opened = false;
    try {
        opened = controller_.OpenDataSource();
    } catch (const std::exception& error) {
        // The error ends the tick, as in any other handler; headless, the
        // open is tried again after the pause.
        notifier_.ShowError(error.what());
        controller_.WaitForUser(error.what());
        return;
    }
    if (opened)
        return;
    OpenClick();
    optionsEnabled_ = false;
    notifier_.ShowMessage("Set Connection and Data Source parameters in the Options Panel.");
    try {
        controller_.OptionButtonClick(false);
    } catch (const std::exception& error) {
        notifier_.ShowError(error.what());
    }
    optionsEnabled_ = true;
}

void TFendralForm::FormClose()
{
    view_.ShowNormalState();
    StoreGeometry();
    view_.SetShown(false);
}

void TFendralForm::OpenClick()
{
    view_.SetShown(true);
}

void TFendralForm::OptionsItemClick()
{
    OpenClick();
    controller_.OptionButtonClick(true);
}

void TFendralForm::OpenDebugFilesButtonClick()
{
    if (GeneralLoggingEnabled())
        OpenInViewer(GeneralLogFileName());
}

void TFendralForm::OpenDebugNetFilesButtonClick()
{
    if (NetworkLoggingEnabled())
        OpenInViewer(NetworkLogFileName());
}

ActionStates TFendralForm::CurrentActionStates()
{
    const ControllerState& state = controller_.State();
    const bool active = controller_.IsActive();
    ActionStates states;
    states.send = !active;
    states.cancel = active && !state.cancelRequested;
    states.options = optionsEnabled_ && !controller_.OptionsRunning();
    states.log = GeneralLoggingEnabled();
    states.netLog = NetworkLoggingEnabled();
    states.claimDirectoryActive = state.filePassBusy || controller_.IsFileTimerEnabled();
    states.serialPortActive = controller_.Modem().IsSourcePortOpen();
    states.socketPortActive = controller_.HasRelayThread();
    return states;
}

void TFendralForm::SessionEnding()
{
    LogMsg("Received Windows WM_QUERYENDSESSION message.");
    ExitClick(false);
}

void TFendralForm::ExitClick(bool fromControl)
{
    LogMsg(fromControl ? "Exit clicked." : "Exit invoked.");
    view_.SetStatusText("Exiting...");
    StoreVisibility();

    ControllerState& state = controller_.State();
    state.cancelRequested = true;
    controller_.DisableFileTimer();
    QCoreApplication::processEvents();
    controller_.DisableFileTimer();

    WaitForRelayOnExit();
    controller_.CloseDataSource();
    if (controller_.IsSwitchConnectionOpen() || controller_.IsTapiCallActive())
        controller_.CloseSwitchConnection();

    state.failureCounted = false;
    state.cancelRequested = false;
    state.failureCount = 0;

    QCoreApplication::processEvents();
    emit ExitFinished();
}

void TFendralForm::WaitForRelayOnExit()
{
    if (!controller_.HasRelayThread())
        return;
    LogMsg("Terminating MxSock thread in Exit function.");
    controller_.RequestRelayTermination();
    LogMsg("Waiting 5 seconds for MxSock to terminate...");
    bool ended = WaitUntil([this] { return !controller_.HasRelayThread(); }, 5000, 100);
    if (ended) {
        LogMsg("MxSock successfully terminated.");
    } else {
        LogMsg("MxSock failed to terminate.  Ignoring...");
        controller_.ForgetRelayThread();
    }
}

void TFendralForm::FormDestroy()
{
    controller_.HangUpDialUpAtExit();
    view_.ShowNormalState();
    StoreGeometry();
}
