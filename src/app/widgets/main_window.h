#pragma once
#include "app/widgets/about_box.h"
#include "base/form_view.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class StatusLampGroup;
class TFendralForm;
class UserNotifier;

// The visible main window with its tray icon: lamps of the two ports, the
// active data sources, the version, the command buttons and the status bar.
class MainWindow : public QMainWindow, public FormView {
    Q_OBJECT
public:
    MainWindow();

    // Wires the actions to the form and its controller, the lamps to their
    // ports, and the idle-time refresh of the actions. Errors that leave an
    // action go to the notifier's standard error box.
    void Attach(TFendralForm& form, UserNotifier& notifier);

    QRect Geometry() const override;
    void SetGeometry(const QRect& rect) override;
    bool HasWindow() const override { return true; }
    QRect ScreenArea(const QRect& rect) const override;
    bool IsShown() const override;
    void SetShown(bool shown) override;
    void ShowNormalState() override;
    void SetTitle(const QString& title) override;
    void SetTrayIconShown(bool shown) override;
    void SetStatusText(const QString& text) override;
    QString StatusText() const override;
    // A notification from the tray icon, for a user of the hidden window.
    void ShowTrayMessage(const QString& title, const QString& text);

    QSystemTrayIcon* TrayIcon() const { return tray_; }
    QMenu* TrayMenu() const { return trayMenu_; }
    StatusLampGroup* SourceLamps() const { return sourceLamps_; }
    StatusLampGroup* SwitchLamps() const { return switchLamps_; }
    AboutBox* About() const { return about_; }

public slots:
    void AboutButtonClick();
    // Sets every action from the form's current state.
    void RefreshActions();

signals:
    void CloseRequested();
    void OpenRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QAction* NewAction(const QString& caption, const QString& toolTip, const char* name);
    QPushButton* NewButton(QAction* action);
    QCheckBox* NewIndicator(QAction* action, const QString& caption);
    QWidget* BuildContent();
    void BuildTray();
    // Shown and held by a system tray: only then can the user get back to a
    // window that left the screen.
    bool TrayIconPresent() const;
    void RunOnTrigger(QAction* action, std::function<void()> handler);

    TFendralForm* form_ = nullptr;
    UserNotifier* notifier_ = nullptr;
    StatusLampGroup* sourceLamps_ = nullptr;
    StatusLampGroup* switchLamps_ = nullptr;
    QLabel* status_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QPointer<AboutBox> about_;

    QAction* sendAction_;
    QAction* cancelAction_;
    QAction* optionsAction_;
    QAction* logAction_;
    QAction* netLogAction_;
    QAction* claimDirectoryAction_;
    QAction* serialPortAction_;
    QAction* socketPortAction_;
    QAction* closeAction_;
    QAction* aboutAction_;
    QAction* exitAction_;
    QAction* optionsItem_;
    QAction* openItem_;
    QAction* exitItem_;
};
