#include "QuitSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace belvane {

namespace {

volatile std::sig_atomic_t writeEnd = -1;
// When the first request came, in milliseconds of the monotonic clock; -1 before it. Lock-free, so the
// handler may use it.
std::atomic<std::int64_t> firstRequest = -1;
std::atomic<std::int64_t> graceMs = 0;
static_assert(std::atomic<std::int64_t>::is_always_lock_free);

// Milliseconds of the monotonic clock; clock_gettime may be called in a signal handler.
std::int64_t now()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t {now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    if (firstRequest >= 0) {
        // Senders of endings often come in pairs (systemd follows SIGTERM with SIGHUP at once): a
        // request within the grace is part of the ending under way. One after it means the ending is
        // stuck: end now, as the signal would have ended us without a handler.
        if (now() - firstRequest >= graceMs) {
            ::signal(signalNumber, SIG_DFL);
            ::raise(signalNumber);
        }
        errno = savedErrno;
        return;
    }
    firstRequest = now();
    const char byte = 1;
    if (writeEnd >= 0) {
        // send, not write: a pipe whose reader is gone must not kill us with SIGPIPE.
        [[maybe_unused]] const ssize_t sent = ::send(writeEnd, &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    errno = savedErrno;
}

constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction previous[std::size(handledSignals)];

} // namespace

QuitSignals::QuitSignals(QObject *parent)
    : QObject(parent)
{ }

QuitSignals::~QuitSignals()
{
    if (installed) {
        for (std::size_t i = 0; i < std::size(handledSignals); ++i) {
            sigaction(handledSignals[i], &previous[i], nullptr);
        }
        writeEnd = -1;
    }
    delete notifier;
    for (int fd : fds) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool QuitSignals::install(std::chrono::milliseconds grace)
{
    if (installed || writeEnd >= 0) {
        return false;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
        fds[0] = fds[1] = -1;
        return false;
    }
    notifier = new QSocketNotifier(fds[1], QSocketNotifier::Read);
    connect(notifier, &QSocketNotifier::activated, this, &QuitSignals::onReadable);
    writeEnd = fds[0];
    firstRequest = -1;
    graceMs = grace.count();

    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(handledSignals); ++i) {
        sigaction(handledSignals[i], nullptr, &previous[i]);
        // A signal ignored at our start (SIGHUP under nohup) stays ignored: whoever started us asked
        // for that.
        if (previous[i].sa_handler != SIG_IGN) {
            sigaction(handledSignals[i], &action, nullptr);
        }
    }
    installed = true;
    return true;
}

void QuitSignals::onReadable()
{
    char buffer[16];
    while (::read(fds[1], buffer, sizeof buffer) > 0) { }
    emit quitRequested();
}

} // namespace belvane
