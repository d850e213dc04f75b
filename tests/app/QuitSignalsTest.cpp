#include "QuitSignals.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>

namespace belvane {
namespace {

TEST(QuitSignalsTest, EachEndingSignalAsksToQuitOnTheLoop)
{
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        QuitSignals quit;
        ASSERT_TRUE(quit.Install());
        QSignalSpy asked(&quit, &QuitSignals::quitRequested);
        std::raise(signalNumber);
        EXPECT_TRUE(asked.wait(5000)) << signalNumber;
        EXPECT_EQ(asked.count(), 1);
    }
}

TEST(QuitSignalsTest, ASecondSignalEndsAtOnceAndAGoneReaderCannotKillTheHandler)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Nothing runs the event loop here, as in an ending that is stuck.
    EXPECT_EXIT(
        {
            QuitSignals quit;
            static_cast<void>(quit.Install());
            std::raise(SIGTERM);
            std::raise(SIGTERM);
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_EXIT(
        {
            std::signal(SIGPIPE, SIG_DFL);
            QuitSignals quit;
            static_cast<void>(quit.Install());
            // Shut every socket for reading: the handler's writes then find no reader.
            for (int fd = 3; fd < 1024; ++fd) {
                struct stat info
                {
                };
                if (::fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode)) {
                    ::shutdown(fd, SHUT_RD);
                }
            }
            std::raise(SIGTERM);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace belvane
