#include <QCoreApplication>
#include <gtest/gtest.h>

// The claim-file source polls with a QTimer, which needs an application.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
