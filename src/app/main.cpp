#include "app/command_line.h"
#include "base/general_log.h"
#include "config/log_settings.h"
#include "app/headless_notifier.h"
#include "app/headless_view.h"
#include "app/main_form.h"
#include "app/signal_bridge.h"
#include "app/single_instance.h"
#include "app/widgets/main_window.h"
#include "app/widgets/message_box_notifier.h"
#include "config/settings.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

bool DisplayAvailable()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return true;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

// Wires the form to the desktop, the signals and the window, then runs the loop.
int RunForm(QCoreApplication& app, const CommandLine& commandLine, FormView& view,
            UserNotifier& notifier, MainWindow* window)
{
    TFendralForm form(commandLine, view, notifier);
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
    if (window) {
        QObject::connect(window, &MainWindow::CloseRequested, &form, &TFendralForm::FormClose);
        QObject::connect(window, &MainWindow::OpenRequested, &form, &TFendralForm::OpenClick);
        auto* guiApp = static_cast<QGuiApplication*>(&app);
        QObject::connect(guiApp, &QGuiApplication::commitDataRequest, &form, &TFendralForm::SessionEnding);
    }
    app.exec();
    LogMsg("Corvane:  End");
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    std::vector<std::string> args(argv + 1, argv + argc);
    CommandLine commandLine = ParseCommandLine(args);
    if (commandLine.configName)
        SetConfigName(*commandLine.configName);
    LoadLogSettings();

    LogMsg("");
    LogMsg("Corvane:  ******** Top of WinMain ********");
    LogMsg("");

    SingleInstance instance(GetConfigName());
    if (instance.heldElsewhere())
        return 0;
    if (!instance.error().empty()) {
        LogMsg("Cannot use the lock file '%s': %s", instance.lockPath().c_str(), instance.error().c_str());
        std::fprintf(stderr, "corvane: cannot use the lock file '%s': %s\n",
                     instance.lockPath().c_str(), instance.error().c_str());
    }

    bool headless = commandLine.headless || !DisplayAvailable();
    try {
        if (headless) {
            QCoreApplication app(argc, argv);
            HeadlessView view;
            HeadlessNotifier notifier;
            return RunForm(app, commandLine, view, notifier, nullptr);
        }
        QApplication app(argc, argv);
        app.setQuitOnLastWindowClosed(false);
        MainWindow window;
        MessageBoxNotifier notifier(&window);
        return RunForm(app, commandLine, window, notifier, &window);
    } catch (const std::exception& error) {
        LogMsg("Corvane:  Exception '%s'", error.what());
        std::fprintf(stderr, "corvane: %s\n", error.what());
        LogMsg("Corvane:  End");
    }
    return 0;
}
