#include <QApplication>
#include <gtest/gtest.h>

// The Options dialog's widgets need an application with a GUI; tests run
// on the offscreen platform.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
