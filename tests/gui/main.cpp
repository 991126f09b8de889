#include <QApplication>
#include <gtest/gtest.h>

// The window and Options tests drive real widgets: they need a widget
// application.
int main(int argc, char** argv)
{
    // Listing the tests happens without the tests' environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
