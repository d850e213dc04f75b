#ifdef BELVANE_WIDGET_TESTS
#include <QApplication>
#else
#include <QCoreApplication>
#endif

#include <gtest/gtest.h>

#include <cstdlib>

// Widget tests get real widgets on the offscreen platform, so the dialogs run without a display. Tests
// of sockets and of the real program's process need only a Qt event loop, and no display of ours.
int main(int argc, char **argv)
{
#ifdef BELVANE_WIDGET_TESTS
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
