// Renders the program's windows into PNG files without a display, for the
// documentation: corvane-screenshots FOLDER

#include "app/headless_notifier.h"
#include "app/main_form.h"
#include "app/widgets/about_box.h"
#include "app/widgets/main_window.h"
#include "app/widgets/options_dialog.h"
#include "ports/comm_port.h"
#include "ports/null_modem.h"

#include <QApplication>
#include <QTabWidget>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace {

bool Save(QWidget& widget, const QString& path)
{
    widget.show();
    QApplication::processEvents();
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "corvane-screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: corvane-screenshots FOLDER\n");
        return 2;
    }
    // A private home: no settings and logs of the user's own show up.
    QTemporaryDir home;
    setenv("HOME", qPrintable(home.path()), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.path()), 1);
    setenv("XDG_RUNTIME_DIR", qPrintable(home.path()), 1);
    unsetenv("CORVANE_SETTINGS");
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(".")) {
        std::fprintf(stderr, "corvane-screenshots: cannot make %s\n", argv[1]);
        return 1;
    }

    MainWindow window;
    HeadlessNotifier notifier;
    TFendralForm form(CommandLine{}, window, notifier);
    window.Attach(form, notifier);
    // A pharmacy system on the serial line: its lines light the lamps.
    NullModemPair cable;
    TApdWinsockPort pharmacy;
    pharmacy.SetDevicePath(cable.PathB());
    pharmacy.SetOpen(true);
    TApdWinsockPort& source = form.Controller().Modem().SourcePort();
    source.SetDevicePath(cable.PathA());
    source.SetOpen(true);
    window.SetStatusText("Waiting for claim on serial port.");
    window.RefreshActions();

    bool saved = Save(window, folder.filePath("main-window.png"));
    AboutBox about(&window);
    saved = Save(about, folder.filePath("about-box.png")) && saved;
    about.close();

    OptionsDialog options(&window);
    options.Load();
    for (int page = 0; page < options.Pages()->count(); ++page) {
        options.Pages()->setCurrentIndex(page);
        saved = Save(options, folder.filePath(QString("options-%1.png").arg(page + 1))) && saved;
    }
    source.SetOpen(false);
    return saved ? 0 : 1;
}
