// Hostile load against the real program: started from a temporary program folder on a private X
// display, it is sent bursts, floods, resets, a sender that never closes, a 100 MiB sender, messages
// as large as the receiver keeps (blank lines, one long line, Japanese lines), random and NUL-laden
// bytes and texts full of repeated markers. After every phase a normal alarm whose action is a small
// script must still be performed within 100 ms of its sender's close, the process must still run, and
// its resident memory must stay within the stated bound. Senders that overlap, stall or trickle must
// each have their alarm performed, a probe beside 16 stalled senders must be performed in time, and a
// moment without descriptors, after thousands of alarms, must cost at most 5 % of a core, tell every
// waiting sender within a second, keep the alarm of one that had closed and perform it within a second
// of descriptors coming back. Alarms must be performed in the order of their senders' closes (the log
// says which came first), and senders of a megabyte must not swell the program.
//   build/bench/hostile_load            (needs Xvfb; stops by itself, exit status 0 when all held)
#include "ProgramRun.h"
#include "ResidentMemory.h"
#include "XSession.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringEncoder>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr double latencyLimitMs = 100.0;
// Resident memory may grow this far above what the program held after start-up.
constexpr long memoryAllowanceKiB = 48 * 1024;
// Showing one message as large as the receiver keeps may add no more than this.
constexpr long largeMessageAllowanceKiB = 16 * 1024;
// What the receiver keeps of one connection.
constexpr std::size_t keptBytes = std::size_t {1} << 20;

int connect(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    return fd;
}

bool writeAll(int fd, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (put <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool sendAlarm(quint16 port, const std::string &text)
{
    const int fd = connect(port);
    if (fd < 0) {
        return false;
    }
    const bool sent = writeAll(fd, text);
    ::close(fd);
    return sent;
}

void reset(int fd)
{
    const linger hard {1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(fd);
}

std::uintmax_t sizeOf(const std::string &path)
{
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

struct Harness
{
    belvane::testing::ProgramCopy folder {BELVANE_PROGRAM_DIR};
    belvane::testing::TempDir audio;
    belvane::testing::XSession x;
    QProcess program;
    quint16 port = 0;
    std::string probeLog;
    std::string errorLog; // the program's standard error: its log lines
    long baselineKiB = 0;

    bool start()
    {
        if (!x.start(false)) {
            std::fprintf(stderr, "cannot start Xvfb\n");
            return false;
        }
        probeLog = folder.script + ".out";
        port = folder.port;

        QProcessEnvironment env = x.env;
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("disk"));
        env.insert(QStringLiteral("SDL_DISKAUDIOFILE"), QString::fromStdString(audio.file("out.raw")));
        program.setProcessEnvironment(env);
        errorLog = folder.file("stderr.log");
        program.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        program.setStandardErrorFile(QString::fromStdString(errorLog));
        program.start(QString::fromStdString(folder.file("belvane")), {});
        if (!program.waitForStarted(10000) || !belvane::testing::waitUntil([this] {
                const int fd = connect(port);
                if (fd >= 0) {
                    ::close(fd);
                }
                return fd >= 0;
            })) {
            std::fprintf(stderr, "the program did not start listening\n");
            return false;
        }
        baselineKiB = belvane::bench::residentKiB(program.processId());
        return true;
    }

    // Sends the normal alarm and gives the milliseconds from its close to the script's run, or a
    // negative value when it was not performed within a second.
    double probe()
    {
        const auto before = sizeOf(probeLog);
        const int fd = connect(port);
        if (fd < 0 || !writeAll(fd, "#Sender=probe\n#Message=still alive\n#Level=3\n")) {
            return -1;
        }
        const auto closed = Clock::now();
        ::close(fd);
        while (sizeOf(probeLog) == before) {
            if (Clock::now() - closed > std::chrono::seconds(1)) {
                return -1;
            }
            ::usleep(200);
        }
        return std::chrono::duration<double, std::milli>(Clock::now() - closed).count();
    }

    // How many level 3 alarms the program has performed: its script writes four lines each time.
    std::size_t performed() const
    {
        std::ifstream log(probeLog);
        return static_cast<std::size_t>(std::count(std::istreambuf_iterator<char>(log), {}, '\n')) / 4;
    }
    bool waitPerformed(std::size_t count, std::chrono::milliseconds limit) const
    {
        const auto end = Clock::now() + limit;
        while (performed() < count) {
            if (Clock::now() > end) {
                return false;
            }
            ::usleep(1000);
        }
        return true;
    }
};

// Whether the receiver ended the connection (a close or a reset) within two seconds of our close, as
// opposed to leaving the sender hanging.
bool toldOfItsEnd(int fd)
{
    ::shutdown(fd, SHUT_WR);
    const timeval wait {2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char byte;
    const ssize_t got = ::recv(fd, &byte, 1, 0);
    const bool told = got == 0 || (got < 0 && errno == ECONNRESET);
    ::close(fd);
    return told;
}

// How long until the receiver ended the connection after our close, in milliseconds; negative when it
// did not within two seconds.
double msUntilTold(int fd)
{
    const auto start = Clock::now();
    return toldOfItsEnd(fd) ? std::chrono::duration<double, std::milli>(Clock::now() - start).count() : -1;
}

// The CPU time the process `pid` has used, in clock ticks.
long cpuTicks(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            utime = std::stol(field);
        } else if (i == 15) {
            stime = std::stol(field);
        }
    }
    return utime + stime;
}

// Whether the program's log names the senders of `order` in that order.
bool loggedInOrder(const std::string &logPath, const std::vector<std::string> &order)
{
    std::ifstream log(logPath);
    const std::string text((std::istreambuf_iterator<char>(log)), {});
    std::size_t at = 0;
    for (const std::string &sender : order) {
        at = text.find("送信者 \"" + sender + "\"", at);
        if (at == std::string::npos) {
            std::printf("    %s not found in its place\n", sender.c_str());
            return false;
        }
    }
    return true;
}

// The lowest descriptor number the process does not hold: with its limit there, it can open none.
long lowestFreeDescriptor(qint64 pid)
{
    std::vector<long> held;
    for (const auto &entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
        held.push_back(std::stol(entry.path().filename().string()));
    }
    std::sort(held.begin(), held.end());
    long lowest = 0;
    for (const long fd : held) {
        if (fd == lowest) {
            ++lowest;
        }
    }
    return lowest;
}

std::string randomBytes(std::mt19937 &random, std::size_t size)
{
    std::string bytes(size, '\0');
    for (char &c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

// A well-formed alarm of exactly the kept size whose message is `line` repeated as often as fits.
std::string largeAlarm(const std::string &line)
{
    const std::string head = "#Sender=large\n#Message=";
    const std::string tail = "\n#Level=9\n";
    std::string text = head;
    while (text.size() + line.size() + tail.size() <= keptBytes) {
        text += line;
    }
    return text + std::string(keptBytes - text.size() - tail.size(), 'x') + tail;
}

std::string cp932(const char *utf8)
{
    QStringEncoder encoder("windows-31j");
    return QByteArray(encoder(QString::fromUtf8(utf8))).toStdString();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    Harness h;
    if (!h.start()) {
        return 1;
    }
    std::mt19937 random(7);
    const std::string alarm = "#Sender=load\n#Message=burst\n#Level=9\n";

    struct Phase
    {
        const char *name;
        std::function<bool()> run;
        // Above zero: the resident memory may grow by at most this much in the phase.
        long growthLimitKiB = 0;
    };
    // One large message, and a probe sent right after its sender closed: the program must not be
    // busy with it for longer than an alarm may wait.
    const auto largeMessage = [&](const std::string &line) {
        return [&h, text = largeAlarm(line)] {
            if (!sendAlarm(h.port, text)) {
                return false;
            }
            const double next = h.probe();
            std::printf("    probe right after the large message: %.1f ms\n", next);
            return next >= 0 && next <= latencyLimitMs;
        };
    };
    const std::vector<Phase> phases = {
        {"start-up",
         [] {
             return true;
         }},
        // First, while the heap holds nothing of the later floods that could hide their growth.
        {"a 1 MiB message of blank lines", largeMessage("\n"), largeMessageAllowanceKiB},
        {"a 1 MiB message of one long line", largeMessage("x"), largeMessageAllowanceKiB},
        {"a 1 MiB message of Japanese lines", largeMessage(cp932("日本語の長いメッセージの一行です。\r\n")),
         largeMessageAllowanceKiB},
        {"10,000 alarms back to back",
         [&] {
             for (int i = 0; i < 10000; ++i) {
                 if (!sendAlarm(h.port, alarm)) {
                     return false;
                 }
             }
             return true;
         }},
        {"200 connections opened at once",
         [&] {
             std::vector<int> open;
             for (int i = 0; i < 200; ++i) {
                 open.push_back(connect(h.port));
             }
             bool all = true;
             for (int fd : open) {
                 all = fd >= 0 && writeAll(fd, alarm) && all;
                 if (fd >= 0) {
                     ::close(fd);
                 }
             }
             return all;
         }},
        {"200 senders resetting their connection",
         [&] {
             for (int i = 0; i < 200; ++i) {
                 const int fd = connect(h.port);
                 if (fd < 0) {
                     return false;
                 }
                 writeAll(fd, alarm.substr(0, static_cast<std::size_t>(i) % alarm.size()));
                 reset(fd);
             }
             return true;
         }},
        {"16 stalled senders, a probe beside them five times",
         [&] {
             // Each probe is the seventeenth connection: the stalled sender silent the longest makes
             // room, and a new one takes its place before the next probe.
             std::vector<int> stalled;
             double slowest = 0;
             for (int round = 0; round < 5; ++round) {
                 while (stalled.size() < 16 + static_cast<std::size_t>(round)) {
                     const int fd = connect(h.port);
                     if (fd < 0 || !writeAll(fd, "#Sender=stalled\n#Message=waits")) {
                         return false;
                     }
                     stalled.push_back(fd);
                 }
                 ::usleep(50000);
                 const double probe = h.probe();
                 slowest = probe < 0 ? 1e9 : std::max(slowest, probe);
             }
             for (const int fd : stalled) {
                 ::close(fd);
             }
             std::printf("    slowest probe beside 16 stalled senders: %.1f ms\n", slowest);
             return slowest <= latencyLimitMs;
         }},
        {"overlapping senders, every alarm performed",
         [&] {
             const std::size_t before = h.performed();
             const std::string alarm3 = "#Sender=overlap\n#Message=every one\n#Level=3\n";
             const std::string half = alarm3.substr(0, 20), rest = alarm3.substr(20);
             const auto whole = [&] {
                 return sendAlarm(h.port, alarm3);
             };
             bool sent = true;
             // Connected, written only after another sender delivered.
             int a = connect(h.port);
             ::usleep(20000);
             sent = whole() && writeAll(a, alarm3) && sent;
             ::close(a);
             // Half written when another arrives.
             a = connect(h.port);
             sent = writeAll(a, half) && sent;
             ::usleep(20000);
             sent = whole() && writeAll(a, rest) && sent;
             ::close(a);
             // One sender trickles its alarm over 1.5 s while five others send whole ones.
             a = connect(h.port);
             for (std::size_t piece = 0; piece < 6; ++piece) {
                 sent = writeAll(a, alarm3.substr(piece * 8, piece < 5 ? 8 : std::string::npos)) && sent;
                 ::usleep(250000);
                 sent = (piece == 5 || whole()) && sent;
             }
             ::close(a);
             // One stalls half-way for a second while five others send whole ones.
             a = connect(h.port);
             sent = writeAll(a, half) && sent;
             for (int i = 0; i < 5; ++i) {
                 sent = whole() && sent;
             }
             ::usleep(1000000);
             sent = writeAll(a, rest) && sent;
             ::close(a);
             const bool all = h.waitPerformed(before + 16, std::chrono::seconds(2));
             std::printf("    performed %zu of 16 alarms\n", h.performed() - before);
             return sent && all;
         }},
        {"no descriptors left while senders wait, then recovery",
         [&] {
             const pid_t pid = static_cast<pid_t>(h.program.processId());
             rlimit saved {};
             if (::prlimit(pid, RLIMIT_NOFILE, nullptr, &saved) != 0) {
                 return false;
             }
             // The last probe's script may still be writing its lines.
             ::usleep(100000);
             const std::size_t before = h.performed();
             rlimit tight = saved;
             tight.rlim_cur = static_cast<rlim_t>(lowestFreeDescriptor(pid));
             ::prlimit(pid, RLIMIT_NOFILE, &tight, nullptr);
             // One sender whose whole alarm is there, closed, and others still sending, one every 100 ms.
             const bool keptSent = sendAlarm(h.port, "#Sender=kept\n#Message=m\n#Level=3\n");
             const long cpuBefore = cpuTicks(pid);
             const auto starved = Clock::now();
             double slowestTold = 0;
             int told = 0;
             for (int i = 0; i < 10; ++i) {
                 const int fd = connect(h.port);
                 const double ms =
                     fd >= 0 && writeAll(fd, "#Sender=exhausted\n#Message=m") ? msUntilTold(fd) : -1;
                 told += ms >= 0 && ms <= 1000;
                 slowestTold = std::max(slowestTold, ms < 0 ? 1e9 : ms);
                 ::usleep(100000);
             }
             const double seconds = std::chrono::duration<double>(Clock::now() - starved).count();
             const double cpuShare = static_cast<double>(cpuTicks(pid) - cpuBefore)
                 / static_cast<double>(::sysconf(_SC_CLK_TCK)) / seconds;
             const bool heldBack = h.performed() == before;
             ::prlimit(pid, RLIMIT_NOFILE, &saved, nullptr);
             const auto back = Clock::now();
             const bool kept = h.waitPerformed(before + 1, std::chrono::seconds(1));
             const double first = std::chrono::duration<double, std::milli>(Clock::now() - back).count();
             std::printf("    CPU while starved: %.1f %% of a core over %.1f s; senders told: %d of 10, "
                         "slowest %.1f ms; "
                         "the closed sender's alarm %s, performed %.1f ms after descriptors came back\n",
                         cpuShare * 100, seconds, told, slowestTold, heldBack ? "held" : "NOT held",
                         kept ? first : -1.0);
             return keptSent && cpuShare <= 0.05 && told == 10 && heldBack && kept;
         }},
        {"closes in order: a pending close and a newcomer, six rounds; four slow senders, then a whole one",
         [&] {
             std::vector<std::string> order;
             bool sent = true;
             const auto alarm9 = [](const std::string &who) {
                 return "#Sender=" + who + "\n#Message=m\n#Level=9\n";
             };
             for (int round = 0; round < 6; ++round) {
                 const std::string a = "order-a" + std::to_string(round),
                                   b = "order-b" + std::to_string(round);
                 const int fd = connect(h.port);
                 sent = fd >= 0 && writeAll(fd, alarm9(a).substr(0, 10)) && sent;
                 ::usleep(20000);
                 sent = writeAll(fd, alarm9(a).substr(10)) && sent;
                 ::close(fd);
                 sent = sendAlarm(h.port, alarm9(b)) && sent;
                 order.insert(order.end(), {a, b});
             }
             std::vector<int> slow;
             for (int i = 0; i < 4; ++i) {
                 slow.push_back(connect(h.port));
                 sent = writeAll(slow.back(), alarm9("order-slow" + std::to_string(i)).substr(0, 12)) && sent;
             }
             ::usleep(20000);
             for (int i = 0; i < 4; ++i) {
                 sent = writeAll(slow[static_cast<std::size_t>(i)],
                                 alarm9("order-slow" + std::to_string(i)).substr(12))
                     && sent;
                 ::close(slow[static_cast<std::size_t>(i)]);
                 order.push_back("order-slow" + std::to_string(i));
             }
             sent = sendAlarm(h.port, alarm9("order-whole")) && sent;
             order.push_back("order-whole");
             ::usleep(300000);
             return sent && loggedInOrder(h.errorLog, order);
         }},
        {"a sender that never closes (probe while it is open)",
         [&] {
             const int stuck = connect(h.port);
             writeAll(stuck, "#Sender=stuck\n#Message=never ends");
             ::usleep(100000);
             const double whileOpen = h.probe();
             std::printf("    probe while the stuck sender is open: %.1f ms\n", whileOpen);
             ::close(stuck);
             return stuck >= 0 && whileOpen >= 0 && whileOpen <= latencyLimitMs;
         }},
        {"a 100 MiB sender",
         [&] {
             const int fd = connect(h.port);
             const std::string block(1 << 20, 'x');
             bool sent = fd >= 0 && writeAll(fd, "#Sender=flood\n#Message=");
             for (int i = 0; sent && i < 100; ++i) {
                 sent = writeAll(fd, block);
             }
             sent = sent && writeAll(fd, "\n#Level=9\n");
             if (fd >= 0) {
                 ::close(fd);
             }
             return sent;
         }},
        {"200 senders of a megabyte each",
         [&] {
             const std::string text =
                 "#Sender=" + std::string(keptBytes - 64, 's') + "\n#Message=m\n#Level=9\n";
             for (int i = 0; i < 200; ++i) {
                 if (!sendAlarm(h.port, text)) {
                     return false;
                 }
             }
             return true;
         }},
        {"1,000 senders of random bytes",
         [&] {
             for (int i = 0; i < 1000; ++i) {
                 if (!sendAlarm(h.port, randomBytes(random, random() % 4096))) {
                     return false;
                 }
             }
             return true;
         }},
        {"1,000 NUL-laden texts",
         [&] {
             for (int i = 0; i < 1000; ++i) {
                 std::string text = alarm + std::string(random() % 2048, '\0') + alarm;
                 text[random() % text.size()] = '\0';
                 if (!sendAlarm(h.port, text)) {
                     return false;
                 }
             }
             return true;
         }},
        {"100 texts of every marker repeated",
         [&] {
             std::string text;
             for (int i = 0; i < 2000; ++i) {
                 text += "#Sender=#Message=\n#Level=#sENDER=$sENDER#mESSAGE=$mESSAGE#lEVEL=$lEVEL#lOGIC=2$"
                         "lOGIC\n";
             }
             for (int i = 0; i < 100; ++i) {
                 if (!sendAlarm(h.port, text)) {
                     return false;
                 }
             }
             return true;
         }},
    };

    std::printf("memory bound: start-up resident memory %ld KiB + %ld KiB\n", h.baselineKiB,
                memoryAllowanceKiB);
    std::printf("%-52s %8s %10s %12s %10s %s\n", "phase", "seconds", "probe ms", "resident KiB", "growth",
                "result");
    bool allHeld = true;
    for (const Phase &phase : phases) {
        const long before = belvane::bench::residentKiB(h.program.processId());
        const auto start = Clock::now();
        const bool ran = phase.run();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        // Let the program drain what is still queued before the probe is timed.
        ::usleep(300000);
        const double probe = h.probe();
        const bool running = h.program.state() == QProcess::Running;
        const long resident = running ? belvane::bench::residentKiB(h.program.processId()) : -1;
        const bool held = ran && running && probe >= 0 && probe <= latencyLimitMs
            && resident <= h.baselineKiB + memoryAllowanceKiB
            && (phase.growthLimitKiB == 0 || resident - before <= phase.growthLimitKiB);
        allHeld = allHeld && held;
        std::printf("%-52s %8.2f %10.1f %12ld %+10ld %s\n", phase.name, seconds, probe, resident,
                    resident - before, held ? "held" : "FAILED");
        std::fflush(stdout);
        if (!running) {
            break;
        }
    }
    h.program.terminate();
    h.program.waitForFinished(10000);
    std::printf("%s\n", allHeld ? "all phases held" : "some phase failed");
    return allHeld ? 0 : 1;
}
