// Load driver for the alarm receiver over loopback, beside the least a receiver can do: a blocking
// accept-read-close loop on its own thread. Measures the time from a sender's close to the dispatch
// (median of many single alarms) and the rate of back-to-back alarms from one sender, which must all
// arrive. Exit status 1 when an alarm is lost or garbled.
//   reception_bench [--alarms N] [--latency-runs N]
#include "AlarmReceiver.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <atomic>
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
    belvane::AlarmReceiver receiver([&](std::string &text) {
        arrivals.arrived(text, Clock::now());
        text.clear();
    });
    if (receiver.StartListening(0) != belvane::AlarmReceiver::ListenState::Listening) {
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
    receiver.Finish();
    return figures;
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
    if (receiver.delivered != alarms || receiver.garbled) {
        std::fprintf(stderr, "reception_bench: the receiver lost or garbled alarms\n");
        return 1;
    }
    return 0;
}
