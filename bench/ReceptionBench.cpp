// Load driver for the alarm receiver over loopback, beside the least a receiver can do: a blocking
// accept-read-close loop on its own thread. Measures the time from a sender's close to the dispatch
// (median of many single alarms) and the rate of back-to-back alarms from one sender, which must all
// arrive. Then the time from a sender's close until the level's program has started (it stamps the
// clock as its first work): the receiver with the real dispatch, action list and launcher, in a process
// holding as much memory as the running program (--ballast-mb), beside a minimal blocking receiver
// that forks and execs (a process of its own). Exit status 1 when an alarm is lost or garbled.
//   reception_bench [--alarms N] [--latency-runs N] [--start-runs N] [--ballast-mb N]
#include "ActionListFile.h"
#include "ActionPerformer.h"
#include "AlarmDispatch.h"
#include "AlarmReceiver.h"
#include "FakeServices.h"
#include "PosixLauncher.h"
#include "TempDir.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::string alarmText(int n)
{
    return "#Sender=bench\n#Message=alarm " + std::to_string(n) + "\n#Level=1\n";
}

// One alarm as a sender writes it: connect, write, close. Returns the moment of the close. With
// `awaitClose` the sender ends only its side and waits for the receiver's close before going on, as
// belvane-send does; a sender that does not wait overruns the backlog of 5 and has its connects
// retried by the system a second later, which measures the retry timer rather than the receiver.
Clock::time_point sendAlarm(quint16 port, const std::string &text, bool awaitClose)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size())) {
        std::perror("reception_bench: send");
        std::exit(2);
    }
    const Clock::time_point closing = Clock::now();
    if (awaitClose) {
        ::shutdown(fd, SHUT_WR);
        char byte = 0;
        if (::recv(fd, &byte, 1, 0) != 0) {
            std::fprintf(stderr, "reception_bench: the receiver did not close cleanly\n");
            std::exit(2);
        }
    }
    ::close(fd);
    return closing;
}

// Hands "alarm n has arrived" from the receiving side to the sending thread.
class Arrivals
{
public:
    void arrived(const std::string &text, Clock::time_point at)
    {
        const std::lock_guard lock(mutex);
        if (text != alarmText(count)) {
            garbled = true;
        }
        ++count;
        last = at;
        changed.notify_all();
    }
    Clock::time_point waitFor(int n)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&]() { return count >= n; });
        return last;
    }
    int arrivedCount()
    {
        const std::lock_guard lock(mutex);
        return count;
    }
    bool anyGarbled()
    {
        const std::lock_guard lock(mutex);
        return garbled;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
    bool garbled = false;
    Clock::time_point last;
};

struct Figures
{
    double medianLatencyUs = 0;
    double alarmsPerSecond = 0;
    int delivered = 0;
    bool garbled = false;
};

// The sender's side of both measurements against a receiver on `port`.
Figures drive(quint16 port, Arrivals &arrivals, int latencyRuns, int alarms)
{
    std::vector<double> latencies;
    for (int i = 0; i < latencyRuns; ++i) {
        const Clock::time_point closed = sendAlarm(port, alarmText(i), false);
        const Clock::time_point dispatched = arrivals.waitFor(i + 1);
        latencies.push_back(std::chrono::duration<double, std::micro>(dispatched - closed).count());
    }
    std::nth_element(latencies.begin(), latencies.begin() + latencies.size() / 2, latencies.end());
    Figures figures;
    figures.medianLatencyUs = latencies[latencies.size() / 2];

    const Clock::time_point start = Clock::now();
    for (int i = 0; i < alarms; ++i) {
        sendAlarm(port, alarmText(latencyRuns + i), true);
    }
    // Generous: a lost alarm shows as a short count, not a hang.
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (arrivals.arrivedCount() < latencyRuns + alarms && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    figures.delivered = arrivals.arrivedCount() - latencyRuns;
    figures.alarmsPerSecond = figures.delivered / seconds;
    figures.garbled = arrivals.anyGarbled();
    return figures;
}

// The least a receiver can do: accept, read to the end, close, on a thread of its own.
Figures measureMinimalLoop(int latencyRuns, int alarms)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(listener, belvane::AlarmReceiver::listenBacklog) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        std::perror("reception_bench: minimal loop");
        std::exit(2);
    }
    Arrivals arrivals;
    std::atomic<bool> stop {false};
    std::thread server([&]() {
        char buffer[1024];
        while (!stop) {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd < 0) {
                continue;
            }
            std::string text;
            ssize_t got = 0;
            while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
                text.append(buffer, static_cast<std::size_t>(got));
            }
            const Clock::time_point at = Clock::now();
            ::close(fd);
            if (!text.empty()) {
                arrivals.arrived(text, at);
            }
        }
    });
    const Figures figures = drive(ntohs(address.sin_port), arrivals, latencyRuns, alarms);
    stop = true;
    ::shutdown(listener, SHUT_RDWR);
    ::close(listener);
    server.join();
    return figures;
}

Figures measureReceiver(int latencyRuns, int alarms)
{
    Arrivals arrivals;
    belvane::AlarmReceiver receiver([&](std::string &text, const std::string &) {
        arrivals.arrived(text, Clock::now());
        text.clear();
    });
    if (receiver.startListening(0) != belvane::AlarmReceiver::ListenState::Listening) {
        std::fprintf(stderr, "reception_bench: the receiver cannot listen\n");
        std::exit(2);
    }
    Figures figures;
    std::thread sender([&]() {
        figures = drive(receiver.boundPort(), arrivals, latencyRuns, alarms);
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    sender.join();
    receiver.finish();
    return figures;
}

// The start-stamp program's side of the process-start measurement: a datagram socket it reports to.
class StartStamps
{
public:
    explicit StartStamps(std::string socketPath)
        : path(std::move(socketPath))
    {
        fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        const timeval patience {10, 0};
        if (path.size() >= sizeof address.sun_path
            || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience) != 0) {
            std::perror("reception_bench: stamp socket");
            std::exit(2);
        }
    }
    ~StartStamps() { ::close(fd); }
    StartStamps(const StartStamps &) = delete;
    StartStamps &operator=(const StartStamps &) = delete;

    // The moment the next started program stamped; exits when none comes within 10 s.
    Clock::time_point next() const
    {
        std::int64_t nanoseconds = 0;
        ssize_t got = 0;
        do { // the end of a started program may interrupt the wait
            got = ::recv(fd, &nanoseconds, sizeof nanoseconds, 0);
        } while (got < 0 && errno == EINTR);
        if (got != sizeof nanoseconds) {
            std::fprintf(stderr, "reception_bench: the action's program did not start\n");
            std::exit(1);
        }
        // steady_clock is the monotonic clock the stamp reads.
        return Clock::time_point(std::chrono::nanoseconds(nanoseconds));
    }

    const std::string path;

private:
    int fd = -1;
};

// Microseconds from a sender's close to the start of the program, for one alarm.
double startUs(quint16 port, const StartStamps &stamps, int n)
{
    const Clock::time_point closed = sendAlarm(port, alarmText(n), false);
    return std::chrono::duration<double, std::micro>(stamps.next() - closed).count();
}

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Median close-to-program-start of the fork/exec receiver and of ours, alarm by alarm in turn, so that
// the load of the machine weighs on both alike.
std::pair<double, double> measureStarts(const StartStamps &stamps, int runs, int ballastMb)
{
    QProcess forkExec;
    forkExec.start(QStringLiteral(FORK_EXEC_RECEIVER),
                   {QStringLiteral(START_STAMP), QString::fromStdString(stamps.path)});
    if (!forkExec.waitForReadyRead(10000)) {
        std::fprintf(stderr, "reception_bench: the fork/exec receiver did not start\n");
        std::exit(2);
    }
    const auto forkExecPort = static_cast<quint16>(forkExec.readLine().trimmed().toUInt());

    // Touched, so that it is resident like the running program's memory.
    std::vector<char> ballast(static_cast<std::size_t>(ballastMb) << 20, 1);
    const belvane::testing::TempDir dir;
    const std::string listPath = dir.file("Belvane.acd");
    belvane::ActionListFile list;
    belvane::ActionRecord record;
    record.enabled = 1;
    belvane::setFieldText(record.actionFile, START_STAMP);
    belvane::setFieldText(record.parameters, stamps.path);
    if (list.OpenOrCreate(2, listPath) != 2 || list.BeginWrite() != 2
        || list.WriteRecord(1, record) != static_cast<std::int32_t>(belvane::ActionRecord::size)) {
        std::fprintf(stderr, "reception_bench: cannot write the action list\n");
        std::exit(2);
    }
    list.Close();
    belvane::testing::RecordingServices services;
    belvane::PosixLauncher launcher;
    belvane::ActionPerformer performer(services.wavePlayer, services.mediaCommands, launcher);
    belvane::AlarmReceiver receiver([&](std::string &text, const std::string &) {
        belvane::DispatchAlarm(text, listPath, performer, 0, [](const belvane::AlarmMessage &) {});
    });
    if (receiver.startListening(0) != belvane::AlarmReceiver::ListenState::Listening) {
        std::fprintf(stderr, "reception_bench: the receiver cannot listen\n");
        std::exit(2);
    }
    std::vector<double> minimal;
    std::vector<double> ours;
    std::thread sender([&]() {
        for (int i = 0; i < runs; ++i) {
            minimal.push_back(startUs(forkExecPort, stamps, i));
            ours.push_back(startUs(receiver.boundPort(), stamps, i));
        }
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    sender.join();
    receiver.finish();
    forkExec.kill();
    forkExec.waitForFinished();
    if (ballast.back() != 1) {
        std::exit(2); // keeps the ballast alive to the end
    }
    return {median(minimal), median(ours)};
}

void print(const char *name, const Figures &f, int alarms)
{
    std::printf("%-14s median close-to-dispatch %8.1f us   %6d/%d alarms at %9.0f alarms/s%s\n", name,
                f.medianLatencyUs, f.delivered, alarms, f.alarmsPerSecond, f.garbled ? "   GARBLED" : "");
}

int option(int argc, char **argv, const char *name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) {
            return std::max(1, std::atoi(argv[i + 1]));
        }
    }
    return fallback;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int alarms = option(argc, argv, "--alarms", 10000);
    const int latencyRuns = option(argc, argv, "--latency-runs", 2000);

    const Figures minimal = measureMinimalLoop(latencyRuns, alarms);
    const Figures receiver = measureReceiver(latencyRuns, alarms);
    print("minimal loop", minimal, alarms);
    print("AlarmReceiver", receiver, alarms);
    const double ratio = receiver.medianLatencyUs / minimal.medianLatencyUs;
    std::printf("latency ratio %.2f (goal at most 1.50: %s), rate ratio %.2f\n", ratio,
                ratio <= 1.5 ? "met" : "missed", receiver.alarmsPerSecond / minimal.alarmsPerSecond);

    const int startRuns = option(argc, argv, "--start-runs", 500);
    const int ballastMb = option(argc, argv, "--ballast-mb", 40);
    const belvane::testing::TempDir stampDir;
    const StartStamps stamps(stampDir.file("stamps"));
    const auto [forkExec, belvaneStart] = measureStarts(stamps, startRuns, ballastMb);
    std::printf("%-14s median close-to-program-start %8.1f us\n", "fork/exec loop", forkExec);
    std::printf("%-14s median close-to-program-start %8.1f us   (with %d MB resident)\n", "Belvane",
                belvaneStart, ballastMb);
    const double startRatio = belvaneStart / forkExec;
    std::printf("start ratio %.2f (goal at most 1.25: %s)\n", startRatio,
                startRatio <= 1.25 ? "met" : "missed");
    if (receiver.delivered != alarms || receiver.garbled) {
        std::fprintf(stderr, "reception_bench: the receiver lost or garbled alarms\n");
        return 1;
    }
    return 0;
}
