// Start-up time to listening, then CPU time and resident memory after a quiet spell, for the real
// program and for a minimal Qt Widgets program that shows one window, in the same run:
//   build/bench/startup_idle [--idle-seconds 60] [--rounds 5]
#include "ProgramRun.h"
#include "XSession.h"

#include <QCoreApplication>
#include <QProcess>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using namespace belvane::testing;

// User plus system CPU time of a process, in clock ticks.
long CpuTicks(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto end = text.rfind(')');
    if (end == std::string::npos) {
        return -1;
    }
    std::istringstream fields(text.substr(end + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) {
            utime = std::stol(field);
        } else if (i == 15) {
            stime = std::stol(field);
            break;
        }
    }
    return utime + stime;
}

// Starts `program` and gives the time until `port` accepts connections.
double StartAndTime(QProcess &process, const QString &program, const QStringList &arguments, quint16 port,
                    const QProcessEnvironment &env)
{
    process.setProcessEnvironment(env);
    const auto start = Clock::now();
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        return -1;
    }
    while (!Accepting(port, 100)) {
        if (Clock::now() - start > std::chrono::seconds(20)) {
            return -1;
        }
        ::usleep(500);
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    int idleSeconds = 60;
    int rounds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--idle-seconds") == 0) {
            idleSeconds = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--rounds") == 0) {
            rounds = std::atoi(argv[i + 1]);
        }
    }
    belvane::testing::XSession x;
    if (!x.Start(false)) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    belvane::testing::TempDir folder;
    fs::copy_file(fs::path(BELVANE_PROGRAM_DIR) / "belvane", folder.path() / "belvane");
    const QString belvane = QString::fromStdString(folder.file("belvane"));
    const QString minimal = QStringLiteral(MINIMAL_WIDGETS);
    QProcessEnvironment env = x.env;
    env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));

    // Alternate the two programs so drifting machine load touches both alike.
    std::vector<double> programTimes, minimalTimes;
    for (int round = 0; round < rounds; ++round) {
        const quint16 port = FreePort();
        writeFile(folder.file("Belvane.cfg"), SettingsImage(port));
        QProcess a;
        programTimes.push_back(StartAndTime(a, belvane, {}, port, env));
        Stop(a);
        QProcess b;
        const quint16 other = FreePort();
        minimalTimes.push_back(StartAndTime(b, minimal, {QString::number(other)}, other, env));
        Stop(b);
    }

    // Both idle side by side for the quiet spell.
    const quint16 port = FreePort();
    writeFile(folder.file("Belvane.cfg"), SettingsImage(port));
    QProcess program, yardstick;
    const quint16 other = FreePort();
    if (StartAndTime(program, belvane, {}, port, env) < 0
        || StartAndTime(yardstick, minimal, {QString::number(other)}, other, env) < 0) {
        std::fprintf(stderr, "a program did not start\n");
        return 1;
    }
    ::sleep(2); // past start-up work
    const long programBefore = CpuTicks(program.processId());
    const long minimalBefore = CpuTicks(yardstick.processId());
    ::sleep(static_cast<unsigned>(idleSeconds));
    const long programIdle = CpuTicks(program.processId()) - programBefore;
    const long minimalIdle = CpuTicks(yardstick.processId()) - minimalBefore;
    const long programKiB = ResidentKiB(program.processId());
    const long minimalKiB = ResidentKiB(yardstick.processId());
    Stop(program);
    Stop(yardstick);

    const double tick = 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    const double programMs = Median(programTimes);
    const double minimalMs = Median(minimalTimes);
    std::printf("%-34s %12s %12s %8s\n", "measure", "belvane", "minimal Qt", "ratio");
    std::printf("%-34s %12.1f %12.1f %8.2f\n", "start-up to listening, median ms", programMs, minimalMs,
                programMs / minimalMs);
    std::printf("%-34s %12.0f %12.0f\n", ("CPU ms in " + std::to_string(idleSeconds) + " s idle").c_str(),
                programIdle * tick, minimalIdle * tick);
    std::printf("%-34s %12ld %12ld %8.2f\n", "resident memory KiB", programKiB, minimalKiB,
                static_cast<double>(programKiB) / static_cast<double>(minimalKiB));
    const bool met = programIdle == 0 && programKiB <= minimalKiB * 13 / 10;
    std::printf("goals (no idle CPU, memory within 1.3x): %s\n", met ? "met" : "NOT met");
    return met ? 0 : 1;
}
