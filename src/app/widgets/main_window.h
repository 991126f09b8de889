#pragma once
#include "base/form_view.h"

#include <QMainWindow>

class QLabel;
class QSystemTrayIcon;

// The visible main window with its tray icon.
class MainWindow : public QMainWindow, public FormView {
    Q_OBJECT
public:
    MainWindow();

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

signals:
    void CloseRequested();
    void OpenRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* status_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
};
