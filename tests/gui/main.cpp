#include <QApplication>
#include <gtest/gtest.h>

// The Options dialog's widgets need an application with a GUI. Test
// discovery runs this program without the tests' environment, so the
// offscreen platform is the default here too.
int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
