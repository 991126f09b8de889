#include <QCoreApplication>
#include <gtest/gtest.h>

// Ports deliver their notifications from the event loop, so the whole
// program runs with an application object.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
