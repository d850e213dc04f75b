#include "QuitSignals.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>

namespace belvane {
namespace {

// The end-to-end and fault tests end the real program with SIGTERM and SIGHUP through the event loop;
// here SIGINT is the first request, so it must be caught as they are.
TEST(QuitSignalsTest, ASecondSignalAfterTheGraceEndsAtOnceAndAGoneReaderCannotKillTheHandler)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Nothing runs the event loop here, as in an ending that is stuck. Started with SIGHUP ignored (nohup),
    // a hangup leaves the program running; SIGINT is a first request as SIGTERM is. Within the grace (an
    // hour) a second request is part of the first ending; after it (none), it ends the process.
    const std::pair<std::chrono::hours, std::function<bool(int)>> rows[] = {
        {std::chrono::hours(1), ::testing::ExitedWithCode(0)},
        {std::chrono::hours(0), ::testing::KilledBySignal(SIGTERM)}};
    for (const auto &[grace, ends] : rows) {
        SCOPED_TRACE(grace.count());
        EXPECT_EXIT(
            {
                std::signal(SIGHUP, SIG_IGN);
                QuitSignals quit;
                static_cast<void>(quit.install(grace));
                for (const int request : {SIGHUP, SIGHUP, SIGINT, SIGTERM}) {
                    std::raise(request);
                }
                std::_Exit(0);
            },
            ends, "");
    }
    EXPECT_EXIT(
        {
            std::signal(SIGPIPE, SIG_DFL);
            QuitSignals quit;
            static_cast<void>(quit.install());
            // Shut every socket for reading: the handler's writes then find no reader.
            for (int fd = 3; fd < 1024; ++fd) {
                struct stat info = {};
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
