#include <QCoreApplication>
#include <gtest/gtest.h>

// The form, the controller and the ports need an application object.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
