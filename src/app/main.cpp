#include "app/command_line.h"
#include "base/general_log.h"
#include "config/log_settings.h"
#include "app/headless_notifier.h"
#include "app/headless_view.h"
#include "app/main_form.h"
#include "app/options/settings_report.h"
#include "app/show_request.h"
#include "app/signal_bridge.h"
#include "app/single_instance.h"
#include "app/widgets/main_window.h"
#include "app/widgets/message_box_notifier.h"
#include "app/widgets/options_dialog.h"
#include "config/settings.h"
#include "config/settings_file.h"
#include "config/settings_listing.h"

#include <QApplication>
#include <QtGlobal>
#include <nettle/version.h>
#include <openssl/crypto.h>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace {

bool IsSet(const char* variable)
{
    const char* value = std::getenv(variable);
    return value && *value;
}

// Qt ends the program (abort) when it cannot open the X display it is
// given, so the display is tried here first.
bool XDisplayReachable(const char* name)
{
    xcb_connection_t* connection = xcb_connect(name, nullptr);
    bool reachable = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return reachable;
}

// True when a window can be shown; an X display that cannot be reached is
// reported on standard error and in the log.
bool DisplayUsable()
{
    if (IsSet("QT_QPA_PLATFORM") || IsSet("WAYLAND_DISPLAY"))
        return true;
    if (!IsSet("DISPLAY"))
        return false;
    const char* display = std::getenv("DISPLAY");
    if (XDisplayReachable(display))
        return true;
    LogMsg("Cannot reach the display '%s'; running headless.", display);
    std::fprintf(stderr, "corvane: cannot reach the display '%s'; running headless\n", display);
    return false;
}

// Wires the form to the desktop, the signals and the window, then runs the loop.
int RunForm(QCoreApplication& app, const CommandLine& commandLine, FormView& view,
            UserNotifier& notifier, MainWindow* window)
{
    TFendralForm form(commandLine, view, notifier);
    // Headless, nobody can press Send.
    form.Controller().SetUnattended(window == nullptr);
    SignalBridge signalBridge;
    QObject::connect(&signalBridge, &SignalBridge::TerminateRequested, &form, [&form](int signalNumber) {
        LogMsg("Received signal %d.", signalNumber);
        form.ExitClick(false);
    });
    QObject::connect(&signalBridge, &SignalBridge::ReloadRequested, &form, [&form, &notifier] {
        LogMsg("Received signal to reload the settings.");
        if (std::optional<std::string> error = LoadLogSettings())
            notifier.ShowError(*error);
        form.Controller().SendButtonClick();
    });
    // exit(), not quit(): quit() first asks every window to close and gives
    // up while one stays visible (the tray icon's does), leaving the program
    // running.
    QObject::connect(&form, &TFendralForm::ExitFinished, &app, [] { QCoreApplication::exit(0); });
    std::unique_ptr<ShowRequestListener> showRequests;
    if (window) {
        showRequests = std::make_unique<ShowRequestListener>(GetConfigName());
        QObject::connect(showRequests.get(), &ShowRequestListener::ShowRequested, &form,
                         [&form] { form.OpenClick(); });
        window->Attach(form, notifier);
        form.Controller().SetOptionsPanel([window] { return OptionsDialog(window).Execute(); });
        auto* guiApp = static_cast<QGuiApplication*>(&app);
        QObject::connect(guiApp, &QGuiApplication::commitDataRequest, &form, &TFendralForm::SessionEnding);
    }
    app.exec();
    LogMsg("Corvane:  End");
    return 0;
}

// An error while the window is made reaches the standard error box, then
// the program ends as after Exit.
int RunWindow(int& argc, char** argv, const CommandLine& commandLine)
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    try {
        MainWindow window;
        MessageBoxNotifier notifier(&window);
        return RunForm(app, commandLine, window, notifier, &window);
    } catch (const std::exception& error) {
        LogMsg("Corvane:  Exception '%s'", error.what());
        MessageBoxNotifier(nullptr).ShowError(error.what());
        LogMsg("Corvane:  End");
    }
    return 0;
}

bool AskToShow(int& argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return AskRunningToShow(GetConfigName());
}

// Another Corvane serves the configuration: on a desktop it is asked to show
// its window (0); otherwise, or when it does not answer, this start fails (1).
int EndSecondStart(const SingleInstance& instance, const CommandLine& commandLine, int& argc, char** argv)
{
    if (!commandLine.headless && DisplayUsable() && AskToShow(argc, argv)) {
        LogMsg("Corvane:  another Corvane serves this configuration; it shows its window.");
        std::fprintf(stderr, "corvane: the Corvane already serving the configuration '%s' shows its window\n",
                     GetConfigName().c_str());
        return 0;
    }
    LogMsg("Corvane:  another Corvane serves this configuration; ending.");
    std::fprintf(stderr, "corvane: another Corvane already serves the configuration '%s' (its lock is '%s')\n",
                 GetConfigName().c_str(), instance.lockPath().c_str());
    return 1;
}

// Without a usable lock file Corvane still runs, unguarded, and says so.
void ReportUnusableLock(const SingleInstance& instance)
{
    LogMsg("Cannot use the lock file '%s': %s", instance.lockPath().c_str(), instance.error().c_str());
    std::fprintf(stderr, "corvane: cannot use the lock file '%s': %s\n", instance.lockPath().c_str(),
                 instance.error().c_str());
}

int RunPrintSettings()
{
    try {
        std::fputs(SettingsInEffect().c_str(), stdout);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "corvane: %s\n", error.what());
        return 1;
    }
}

// Started on defaults that nobody chose, Corvane would hide the mistake; a
// file spoilt while it runs is reported at each reload instead.
bool SettingsFileReadable()
{
    try {
        ReadSettingsFile(SettingsFilePath());
        return true;
    } catch (const SettingsFileError& error) {
        LogMsg("Corvane:  %s; ending.", error.what());
        std::fprintf(stderr, "corvane: %s\n", error.what());
        return false;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    std::vector<std::string> args(argv + 1, argv + argc);
    CommandLine commandLine = ParseCommandLine(args);
    if (commandLine.unknown) {
        std::fprintf(stderr, "corvane: unknown option '%s'\nTry 'corvane --help' for more information.\n",
                     commandLine.unknown->c_str());
        return 2;
    }
    if (commandLine.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (commandLine.version) {
        std::printf("corvane %s\nOpenSSL %s\nQt %s\nNettle %d.%d\n", CORVANE_VERSION,
                    OpenSSL_version(OPENSSL_VERSION_STRING), qVersion(), nettle_version_major(),
                    nettle_version_minor());
        return 0;
    }
    if (commandLine.configName)
        SetConfigName(*commandLine.configName);
    if (commandLine.printSettings)
        return RunPrintSettings();
    LoadLogSettings();
    if (commandLine.checkConfig)
        return RunCheckConfig(stdout);
    if (!SettingsFileReadable())
        return 1;

    LogMsg("");
    LogMsg("Corvane:  ******** Top of WinMain ********");
    LogMsg("");

    SingleInstance instance(GetConfigName());
    if (instance.heldElsewhere())
        return EndSecondStart(instance, commandLine, argc, argv);
    if (!instance.error().empty())
        ReportUnusableLock(instance);

    bool headless = commandLine.headless || !DisplayUsable();
    try {
        if (headless) {
            QCoreApplication app(argc, argv);
            HeadlessView view;
            view.EchoStatusToStandardError(true);
            HeadlessNotifier notifier;
            return RunForm(app, commandLine, view, notifier, nullptr);
        }
        return RunWindow(argc, argv, commandLine);
    } catch (const std::exception& error) {
        LogMsg("Corvane:  Exception '%s'", error.what());
        std::fprintf(stderr, "corvane: %s\n", error.what());
        LogMsg("Corvane:  End");
    }
    return 0;
}
