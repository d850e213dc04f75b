#include <QCoreApplication>

#include <gtest/gtest.h>

// Tests of sockets and of the real program's process need a Qt event loop, and no display of ours.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
