#include "app/widgets/main_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>

MainWindow::MainWindow()
{
    status_ = new QLabel(this);
    statusBar()->addWidget(status_, 1);
    tray_ = new QSystemTrayIcon(style()->standardIcon(QStyle::SP_ComputerIcon), this);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            emit OpenRequested();
    });
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
    setVisible(shown);
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
    tray_->setVisible(shown && QSystemTrayIcon::isSystemTrayAvailable());
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
    if (tray_->isVisible())
        tray_->showMessage(title, text, QSystemTrayIcon::Warning);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Close only hides the window; the gateway keeps working in the tray.
    event->ignore();
    emit CloseRequested();
}
