#include "window_fixture.h"
#include "wait_for.h"

#include "virtual_display.h"

#include <QApplication>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTest>

namespace {

// Qt's own tray icon window on X11, where a system tray embeds it.
QWidget* TrayIconWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (QString(widget->metaObject()->className()) == "QSystemTrayIconSys")
            return widget;
    return nullptr;
}

} // namespace

// The checks run in a copy of this program on an X server with a system
// tray; the offscreen platform of the other tests has no tray.
TEST_F(WindowTest, TrayIconAppearsAndItsMenuOpens)
{
    if (!qEnvironmentVariableIsSet(kOwnDisplayVariable)) {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty() || QStandardPaths::findExecutable("trayer").isEmpty())
            GTEST_SKIP() << "Xvfb and trayer are needed";
        VirtualDisplay display;
        ASSERT_FALSE(display.name().isEmpty());
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display.name());
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert(kOwnDisplayVariable, "1");
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=WindowTest.TrayIconAppearsAndItsMenuOpens"});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
        return;
    }

    ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
    EXPECT_TRUE(window.TrayIcon()->isVisible());
    EXPECT_EQ(window.TrayIcon()->toolTip(), "Corvane");
    QWidget* icon = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        icon = TrayIconWindow();
        return icon && icon->isVisible() && window.TrayIcon()->geometry().isValid();
    }));

    QTest::mouseClick(icon, Qt::RightButton);
    ASSERT_TRUE(WaitFor([&] { return window.TrayMenu()->isVisible(); }));
    window.TrayMenu()->close();

    // Minimised beside the tray icon the window leaves the screen; a double
    // click on the icon brings it back.
    window.showMinimized();
    ASSERT_TRUE(WaitFor([&] { return !window.isVisible(); }));
    QTest::mouseDClick(icon, Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return window.isVisible() && !window.isMinimized(); }));
}
