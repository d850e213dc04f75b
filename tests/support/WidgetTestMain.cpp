#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// Real widgets on the offscreen platform, so the dialogs run without a display.
int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
