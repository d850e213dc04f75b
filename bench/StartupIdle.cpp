// Start-up time to listening, resident memory after start, then CPU time and resident memory after a
// quiet spell, for the real program and for a minimal Qt program that looks the same after its start
// (bench/MinimalWidgets.cpp), in the same run, on a private X display with a tray host:
//   build/bench/startup_idle [--idle-seconds 60] [--rounds 5]
#include "ProgramRun.h"
#include "ResidentMemory.h"
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
using belvane::bench::residentKiB;

// User plus system CPU time of a process, in clock ticks.
long cpuTicks(qint64 pid)
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
double startAndTime(QProcess &process, const QString &program, const QStringList &arguments, quint16 port,
                    const QProcessEnvironment &env)
{
    process.setProcessEnvironment(env);
    const auto start = Clock::now();
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        return -1;
    }
    while (!accepting(port, 100)) {
        if (Clock::now() - start > std::chrono::seconds(20)) {
            return -1;
        }
        ::usleep(500);
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
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
    if (!x.start()) {
        std::fprintf(stderr, "cannot start Xvfb and the tray host\n");
        return 1;
    }
    belvane::testing::TempDir folder;
    fs::copy_file(fs::path(BELVANE_PROGRAM_DIR) / "belvane", folder.path() / "belvane");
    const QString belvane = QString::fromStdString(folder.file("belvane"));
    const QString minimal = QStringLiteral(MINIMAL_WIDGETS);
    QProcessEnvironment env = x.env;
    env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));

    // Every start is a first one, so the program shows the notice in its message box as the
    // yardstick shows its text.
    const auto startProgram = [&](QProcess &process) {
        const quint16 port = freePort();
        writeFile(folder.file("Belvane.cfg"), settingsImage(port));
        fs::remove(folder.file("Belvane.acd"));
        return startAndTime(process, belvane, {}, port, env);
    };
    const auto startYardstick = [&](QProcess &process) {
        const quint16 port = freePort();
        return startAndTime(process, minimal, {QString::number(port)}, port, env);
    };
    constexpr unsigned settleSeconds = 2; // past start-up work: the window drawn, the tray icon docked

    // Alternate the two programs so drifting machine load touches both alike.
    std::vector<double> programTimes, minimalTimes, programStartKiB, minimalStartKiB;
    for (int round = 0; round < rounds; ++round) {
        QProcess a;
        programTimes.push_back(startProgram(a));
        ::sleep(settleSeconds);
        programStartKiB.push_back(static_cast<double>(residentKiB(a.processId())));
        stop(a);
        QProcess b;
        minimalTimes.push_back(startYardstick(b));
        ::sleep(settleSeconds);
        minimalStartKiB.push_back(static_cast<double>(residentKiB(b.processId())));
        stop(b);
    }

    // Both idle side by side for the quiet spell.
    QProcess program, yardstick;
    if (startProgram(program) < 0 || startYardstick(yardstick) < 0) {
        std::fprintf(stderr, "a program did not start\n");
        return 1;
    }
    ::sleep(settleSeconds);
    const long programBefore = cpuTicks(program.processId());
    const long minimalBefore = cpuTicks(yardstick.processId());
    ::sleep(static_cast<unsigned>(idleSeconds));
    const long programIdle = cpuTicks(program.processId()) - programBefore;
    const long minimalIdle = cpuTicks(yardstick.processId()) - minimalBefore;
    const long programKiB = residentKiB(program.processId());
    const long minimalKiB = residentKiB(yardstick.processId());
    stop(program);
    stop(yardstick);

    const double tick = 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    const double programMs = median(programTimes);
    const double minimalMs = median(minimalTimes);
    const double startRatio = median(programStartKiB) / median(minimalStartKiB);
    const double idleRatio = static_cast<double>(programKiB) / static_cast<double>(minimalKiB);
    std::printf("%-40s %12s %12s %8s\n", "measure", "belvane", "yardstick", "ratio");
    std::printf("%-40s %12.1f %12.1f %8.2f\n", "start-up to listening, median ms", programMs, minimalMs,
                programMs / minimalMs);
    std::printf("%-40s %12.0f %12.0f %8.3f\n", "resident KiB after start, median", median(programStartKiB),
                median(minimalStartKiB), startRatio);
    std::printf("%-40s %12.0f %12.0f\n", ("CPU ms in " + std::to_string(idleSeconds) + " s idle").c_str(),
                programIdle * tick, minimalIdle * tick);
    std::printf("%-40s %12ld %12ld %8.3f\n",
                ("resident KiB after " + std::to_string(idleSeconds) + " s idle").c_str(), programKiB,
                minimalKiB, idleRatio);
    const bool met =
        programIdle == 0 && startRatio <= 1.05 && idleRatio <= 1.05 && programMs <= minimalMs * 1.15;
    std::printf("goals (no idle CPU, memory within 1.05x, start-up within 1.15x): %s\n",
                met ? "met" : "NOT met");
    return met ? 0 : 1;
}
