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
    // hour) a second request is part of the first ending; after it (none), it ends the process. Neither
    // may a reader gone from the handler's socket kill it with SIGPIPE.
    const std::pair<std::chrono::hours, std::function<bool(int)>> rows[] = {
        {std::chrono::hours(1), ::testing::ExitedWithCode(0)},
        {std::chrono::hours(0), ::testing::KilledBySignal(SIGTERM)}};
    for (const auto &[grace, ends] : rows) {
        SCOPED_TRACE(grace.count());
        EXPECT_EXIT(
            {
                std::signal(SIGHUP, SIG_IGN);
                std::signal(SIGPIPE, SIG_DFL);
                QuitSignals quit;
                static_cast<void>(quit.install(grace));
                // Shut every socket for reading: the handler's write then finds no reader.
                for (int fd = 3; fd < 1024; ++fd) {
                    struct stat info = {};
                    if (::fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode)) {
                        ::shutdown(fd, SHUT_RD);
                    }
                }
                for (const int request : {SIGHUP, SIGHUP, SIGINT, SIGTERM}) {
                    std::raise(request);
                }
                std::_Exit(0);
            },
            ends, "");
    }
}

} // namespace
} // namespace belvane
