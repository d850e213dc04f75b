// Hostile load against the real program: started from a temporary program folder on a private X
// display, it is sent bursts, floods, resets, a sender that never closes, a 100 MiB sender, messages
// as large as the receiver keeps (blank lines, one long line, Japanese lines), random and NUL-laden
// bytes and texts full of repeated markers. After every phase a normal alarm whose action is a small
// script must still be performed within 100 ms of its sender's close, the process must still run, and
// its resident memory must stay within the stated bound.
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
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
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

int Connect(quint16 port)
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

bool WriteAll(int fd, const std::string &bytes)
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

bool SendAlarm(quint16 port, const std::string &text)
{
    const int fd = Connect(port);
    if (fd < 0) {
        return false;
    }
    const bool sent = WriteAll(fd, text);
    ::close(fd);
    return sent;
}

void Reset(int fd)
{
    const linger hard {1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(fd);
}

std::uintmax_t SizeOf(const std::string &path)
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
    long baselineKiB = 0;

    bool Start()
    {
        if (!x.Start(false)) {
            std::fprintf(stderr, "cannot start Xvfb\n");
            return false;
        }
        probeLog = folder.script + ".out";
        port = folder.port;

        QProcessEnvironment env = x.env;
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("disk"));
        env.insert(QStringLiteral("SDL_DISKAUDIOFILE"), QString::fromStdString(audio.file("out.raw")));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QString::fromStdString(folder.file("belvane")), {});
        if (!program.waitForStarted(10000) || !belvane::testing::WaitUntil([this] {
                const int fd = Connect(port);
                if (fd >= 0) {
                    ::close(fd);
                }
                return fd >= 0;
            })) {
            std::fprintf(stderr, "the program did not start listening\n");
            return false;
        }
        baselineKiB = belvane::bench::ResidentKiB(program.processId());
        return true;
    }

    // Sends the normal alarm and gives the milliseconds from its close to the script's run, or a
    // negative value when it was not performed within a second.
    double Probe()
    {
        const auto before = SizeOf(probeLog);
        const int fd = Connect(port);
        if (fd < 0 || !WriteAll(fd, "#Sender=probe\n#Message=still alive\n#Level=3\n")) {
            return -1;
        }
        const auto closed = Clock::now();
        ::close(fd);
        while (SizeOf(probeLog) == before) {
            if (Clock::now() - closed > std::chrono::seconds(1)) {
                return -1;
            }
            ::usleep(200);
        }
        return std::chrono::duration<double, std::milli>(Clock::now() - closed).count();
    }
};

std::string RandomBytes(std::mt19937 &random, std::size_t size)
{
    std::string bytes(size, '\0');
    for (char &c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

// A well-formed alarm of exactly the kept size whose message is `line` repeated as often as fits.
std::string LargeAlarm(const std::string &line)
{
    const std::string head = "#Sender=large\n#Message=";
    const std::string tail = "\n#Level=9\n";
    std::string text = head;
    while (text.size() + line.size() + tail.size() <= keptBytes) {
        text += line;
    }
    return text + std::string(keptBytes - text.size() - tail.size(), 'x') + tail;
}

std::string Cp932(const char *utf8)
{
    QStringEncoder encoder("windows-31j");
    return QByteArray(encoder(QString::fromUtf8(utf8))).toStdString();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    Harness h;
    if (!h.Start()) {
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
        return [&h, text = LargeAlarm(line)] {
            if (!SendAlarm(h.port, text)) {
                return false;
            }
            const double next = h.Probe();
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
        {"a 1 MiB message of Japanese lines", largeMessage(Cp932("日本語の長いメッセージの一行です。\r\n")),
         largeMessageAllowanceKiB},
        {"10,000 alarms back to back",
         [&] {
             for (int i = 0; i < 10000; ++i) {
                 if (!SendAlarm(h.port, alarm)) {
                     return false;
                 }
             }
             return true;
         }},
        {"200 connections opened at once",
         [&] {
             std::vector<int> open;
             for (int i = 0; i < 200; ++i) {
                 open.push_back(Connect(h.port));
             }
             bool all = true;
             for (int fd : open) {
                 all = fd >= 0 && WriteAll(fd, alarm) && all;
                 if (fd >= 0) {
                     ::close(fd);
                 }
             }
             return all;
         }},
        {"200 senders resetting their connection",
         [&] {
             for (int i = 0; i < 200; ++i) {
                 const int fd = Connect(h.port);
                 if (fd < 0) {
                     return false;
                 }
                 WriteAll(fd, alarm.substr(0, static_cast<std::size_t>(i) % alarm.size()));
                 Reset(fd);
             }
             return true;
         }},
        {"a sender that never closes (probe while it is open)",
         [&] {
             const int stuck = Connect(h.port);
             WriteAll(stuck, "#Sender=stuck\n#Message=never ends");
             ::usleep(100000);
             const double whileOpen = h.Probe();
             std::printf("    probe while the stuck sender is open: %.1f ms\n", whileOpen);
             ::close(stuck);
             return stuck >= 0 && whileOpen >= 0 && whileOpen <= latencyLimitMs;
         }},
        {"a 100 MiB sender",
         [&] {
             const int fd = Connect(h.port);
             const std::string block(1 << 20, 'x');
             bool sent = fd >= 0 && WriteAll(fd, "#Sender=flood\n#Message=");
             for (int i = 0; sent && i < 100; ++i) {
                 sent = WriteAll(fd, block);
             }
             sent = sent && WriteAll(fd, "\n#Level=9\n");
             if (fd >= 0) {
                 ::close(fd);
             }
             return sent;
         }},
        {"1,000 senders of random bytes",
         [&] {
             for (int i = 0; i < 1000; ++i) {
                 if (!SendAlarm(h.port, RandomBytes(random, random() % 4096))) {
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
                 if (!SendAlarm(h.port, text)) {
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
                 if (!SendAlarm(h.port, text)) {
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
        const long before = belvane::bench::ResidentKiB(h.program.processId());
        const auto start = Clock::now();
        const bool ran = phase.run();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        // Let the program drain what is still queued before the probe is timed.
        ::usleep(300000);
        const double probe = h.Probe();
        const bool running = h.program.state() == QProcess::Running;
        const long resident = running ? belvane::bench::ResidentKiB(h.program.processId()) : -1;
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
