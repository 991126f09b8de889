#include "test_env.h"

#include <QApplication>
#include <gtest/gtest.h>

// One main for every test program. Widgets, ports, timers and sockets all
// need an application object; no test may see the machine's own
// configuration, display or session bus.
int main(int argc, char** argv)
{
    IsolateFromTheMachine();
    // Listing the tests happens without the tests' environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
