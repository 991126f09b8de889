#include "app/widgets/main_window.h"

#include "app/main_form.h"
#include "app/user_notifier.h"
#include "app/widgets/about_box.h"
#include "app/widgets/status_lamps.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char* const IconPath = ":/icons/corvane.svg";

} // namespace

MainWindow::MainWindow()
{
    setWindowIcon(QIcon(IconPath));
    sendAction_ = NewAction("Send", "Initiate the send process.  Necessary after a Cancel.", "Send");
    optionsAction_ = NewAction("Options", "Display Options panel.", "Options");
    cancelAction_ = NewAction("Cancel", "Cancel any pending send operations.", "Cancel");
    closeAction_ = NewAction("Close", "Close this window.  Application continues to run.", "Close");
    aboutAction_ = NewAction("About", "Display the About Box.", "About");
    exitAction_ = NewAction("E&xit", "Exit/close the application.", "Exit");
    logAction_ = NewAction("Log", "Displays non-network log file with Notepad.", "Log");
    netLogAction_ = NewAction("Net Log", "Displays network communications log file with Notepad.", "NetLog");
    claimDirectoryAction_ = NewAction("Claim Data Directory", "", "ClaimDirectory");
    serialPortAction_ = NewAction("Serial Port", "", "SerialPort");
    socketPortAction_ = NewAction("SSL Inbound Port", "", "SocketPort");
    for (QAction* indicator : {claimDirectoryAction_, serialPortAction_, socketPortAction_})
        indicator->setCheckable(true);
    optionsItem_ = NewAction("Options", "Display Options panel.", "OptionsItem");
    openItem_ = NewAction("Open", "Display the main application window.", "OpenItem");
    exitItem_ = NewAction("Exit", "", "ExitItem");

    setCentralWidget(BuildContent());
    status_ = new QLabel(this);
    status_->setObjectName("status");
    statusBar()->addWidget(status_, 1);
    BuildTray();
    connect(closeAction_, &QAction::triggered, this, &QWidget::close);
    connect(aboutAction_, &QAction::triggered, this, &MainWindow::AboutButtonClick);
}

QAction* MainWindow::NewAction(const QString& caption, const QString& toolTip, const char* name)
{
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    action->setToolTip(toolTip);
    return action;
}

// A push button that shows its action: caption, tool tip and enabled state.
QPushButton* MainWindow::NewButton(QAction* action)
{
    auto* button = new QPushButton(action->text(), this);
    button->setObjectName(action->objectName() + "Button");
    button->setToolTip(action->toolTip());
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    connect(action, &QAction::changed, button, [button, action] { button->setEnabled(action->isEnabled()); });
    return button;
}

// A check box that only shows its action's checked state; a click runs the
// action, which sets the box back.
QCheckBox* MainWindow::NewIndicator(QAction* action, const QString& caption)
{
    auto* box = new QCheckBox(caption, this);
    box->setObjectName(action->objectName() + "Box");
    connect(box, &QCheckBox::clicked, action, &QAction::trigger);
    connect(action, &QAction::changed, box, [box, action] { box->setChecked(action->isChecked()); });
    connect(action, &QAction::triggered, this, &MainWindow::RefreshActions);
    return box;
}

QWidget* MainWindow::BuildContent()
{
    auto* content = new QWidget(this);
    sourceLamps_ = new StatusLampGroup("Client Serial Port Status", content);
    switchLamps_ = new StatusLampGroup("Tuq-Server Port Status", content);

    auto* sources = new QGroupBox("Active Data Sources", content);
    sources->setToolTip("Transactions are accepted on checked data sources.");
    auto* sourceList = new QVBoxLayout(sources);
    sourceList->addWidget(NewIndicator(claimDirectoryAction_, "Claim Data Directory"));
    sourceList->addWidget(NewIndicator(serialPortAction_, "Serial Port"));
    sourceList->addWidget(NewIndicator(socketPortAction_, "Socket Port"));

    auto* logs = new QHBoxLayout;
    logs->addWidget(NewButton(logAction_));
    logs->addWidget(NewButton(netLogAction_));

    auto* version = new QLabel(FileVersionText(), content);
    version->setObjectName("version");

    auto* grid = new QGridLayout;
    grid->addWidget(sourceLamps_, 0, 0);
    grid->addWidget(switchLamps_, 1, 0);
    grid->addWidget(sources, 0, 1, 2, 1);
    grid->addWidget(version, 2, 0);
    grid->addLayout(logs, 2, 1);
    grid->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    for (QAction* action : {sendAction_, optionsAction_, cancelAction_, closeAction_, aboutAction_, exitAction_})
        buttons->addWidget(NewButton(action));

    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(6, 6, 6, 0);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttons);
    return content;
}

void MainWindow::BuildTray()
{
    trayMenu_ = new QMenu(this);
    trayMenu_->setToolTipsVisible(true);
    trayMenu_->addAction(aboutAction_);
    trayMenu_->addSeparator();
    trayMenu_->addAction(logAction_);
    trayMenu_->addAction(netLogAction_);
    trayMenu_->addAction(optionsItem_);
    trayMenu_->addAction(openItem_);
    trayMenu_->addAction(exitItem_);

    tray_ = new QSystemTrayIcon(QIcon(IconPath), this);
    tray_->setContextMenu(trayMenu_);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            emit OpenRequested();
    });
    connect(openItem_, &QAction::triggered, this, &MainWindow::OpenRequested);
}

void MainWindow::Attach(TFendralForm& form, UserNotifier& notifier)
{
    form_ = &form;
    notifier_ = &notifier;
    connect(&form, &QObject::destroyed, this, [this] { form_ = nullptr; });
    connect(this, &MainWindow::CloseRequested, &form, &TFendralForm::FormClose);
    connect(this, &MainWindow::OpenRequested, &form, &TFendralForm::OpenClick);
    DispatchController& controller = form.Controller();
    RunOnTrigger(sendAction_, [&controller] { controller.SendButtonClick(); });
    RunOnTrigger(cancelAction_, [&controller] { controller.CancelButtonClick(true); });
    RunOnTrigger(optionsAction_, [&controller] { controller.OptionButtonClick(true); });
    RunOnTrigger(logAction_, [&form] { form.OpenDebugFilesButtonClick(); });
    RunOnTrigger(netLogAction_, [&form] { form.OpenDebugNetFilesButtonClick(); });
    RunOnTrigger(exitAction_, [&form] { form.ExitClick(true); });
    RunOnTrigger(exitItem_, [&form] { form.ExitClick(true); });
    RunOnTrigger(optionsItem_, [&form] { form.OptionsItemClick(); });
    sourceLamps_->Watch(controller.Modem().SourcePort());
    switchLamps_->Watch(controller.Switch().ApdComPort);
    // The actions follow the controller whenever the program has nothing
    // else to do, so no state change needs to announce itself.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &MainWindow::RefreshActions);
    RefreshActions();
}

// An error that leaves a handler is shown and the program goes on.
void MainWindow::RunOnTrigger(QAction* action, std::function<void()> handler)
{
    connect(action, &QAction::triggered, this, [this, handler] {
        try {
            handler();
        } catch (const std::exception& error) {
            notifier_->ShowError(error.what());
        }
    });
}

void MainWindow::RefreshActions()
{
    if (!form_)
        return;
    const ActionStates states = form_->CurrentActionStates();
    sendAction_->setEnabled(states.send);
    cancelAction_->setEnabled(states.cancel);
    optionsAction_->setEnabled(states.options);
    optionsItem_->setEnabled(states.options);
    logAction_->setEnabled(states.log);
    netLogAction_->setEnabled(states.netLog);
    claimDirectoryAction_->setChecked(states.claimDirectoryActive);
    serialPortAction_->setChecked(states.serialPortActive);
    socketPortAction_->setChecked(states.socketPortActive);
}

void MainWindow::AboutButtonClick()
{
    if (!about_) {
        about_ = new AboutBox(this);
        about_->setAttribute(Qt::WA_DeleteOnClose);
        // Forgotten as soon as it closes, so the next click makes a new one.
        connect(about_, &QDialog::finished, this, [this] { about_ = nullptr; });
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
}

QRect MainWindow::Geometry() const
{
    return geometry();
}

void MainWindow::SetGeometry(const QRect& rect)
{
    setGeometry(rect);
}

QRect MainWindow::ScreenArea(const QRect& rect) const
{
    QScreen* screen = QGuiApplication::screenAt(rect.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : rect;
}

bool MainWindow::IsShown() const
{
    return isVisible();
}

void MainWindow::SetShown(bool shown)
{
    if (!shown) {
        hide();
        return;
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void MainWindow::ShowNormalState()
{
    if (isMinimized() || isMaximized())
        showNormal();
}

void MainWindow::SetTitle(const QString& title)
{
    setWindowTitle(title);
    // The tray keeps its previous tip for titles the shell cannot show.
    if (title.size() < 64)
        tray_->setToolTip(title);
}

void MainWindow::SetTrayIconShown(bool shown)
{
    // Qt puts the icon into a system tray that appears later, as a panel
    // started after the program does.
    tray_->setVisible(shown);
}

bool MainWindow::TrayIconPresent() const
{
    return tray_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void MainWindow::SetStatusText(const QString& text)
{
    status_->setText(text);
}

QString MainWindow::StatusText() const
{
    return status_->text();
}

void MainWindow::ShowTrayMessage(const QString& title, const QString& text)
{
    if (TrayIconPresent())
        tray_->showMessage(title, text, QSystemTrayIcon::Warning);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Close only hides the window; the gateway keeps working in the tray.
    event->ignore();
    emit CloseRequested();
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Minimised beside a tray icon, the window leaves the task bar entirely;
    // the icon brings it back. Hidden after the state change has settled.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && TrayIconPresent())
        QTimer::singleShot(0, this, &QWidget::hide);
}
