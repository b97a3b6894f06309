#include <QCoreApplication>

#include <gtest/gtest.h>

// An application object: the publisher tells its state through the event loop.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
