#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// The sound tests need a Qt event loop for the players' queued finish news, and render into a file
// through SDL's disk driver instead of a sound card.
int main(int argc, char **argv)
{
    setenv("SDL_AUDIODRIVER", "disk", 1);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
