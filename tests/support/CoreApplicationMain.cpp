#include <QCoreApplication>

#include <gtest/gtest.h>

// One application object for the run: the units under test tell their failures and states from
// their threads through its event loop.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
