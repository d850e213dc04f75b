// When an alarm's sound starts, beside a fresh paplay of the same file, through the desktop's sound
// server as a Debian 12 desktop runs it: PipeWire, WirePlumber and PipeWire's PulseAudio service on a
// session bus of their own, with a null sink as the default sink, all started here for the current
// user. One recording of the sink's monitor holds every sound, so the server's and the recording's
// own delays are the same for both sides. Each round starts the real program (headless) afresh; its
// first alarm after start-up alternates between the WAV and the MIDI level, then more of each follow.
// A MIDI piece has no paplay of its own: its first note is set beside paplay's WAV.
//   build/bench/sound_onset [--rounds 10] [--alarms 2] [--settle-ms 1000]
#include "LoopbackClient.h"
#include "ProgramRun.h"
#include "WaveImage.h"
#include "XSession.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::string_literals;
using namespace belvane::testing;
namespace fs = std::filesystem;

constexpr int rate = 48000; // the recording's, mono
constexpr int wavLevel = 4;
constexpr int midiLevel = 5;

// A format-0 MIDI file: piano, middle C at once for half a second, then G.
const std::string midi =
    "MThd\0\0\0\6\0\0\0\1\1\xE0"
    "MTrk\0\0\0\x19"
    "\0\xC0\x00\0\x90\x3C\x64\x83\x60\x80\x3C\0\0\x90\x43\x64\x83\x60\x80\x43\0\0\xFF\x2F\0"s;

// A third of a second of 1 kHz at half the full scale, loud from its first sample on.
std::string Beep()
{
    constexpr int beepRate = 44100;
    std::vector<std::int16_t> samples(beepRate / 3);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(
            16000 * std::sin(2 * std::numbers::pi * 1000 * (double(i) + 0.25 * beepRate / 1000) / beepRate));
    }
    return belvane::buildWaveImage(samples, beepRate);
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// The desktop's sound server for this run, ended with it.
class SoundServer final
{
public:
    ~SoundServer()
    {
        for (QProcess *p : {&pulse, &sessionManager, &server, &bus}) {
            Stop(*p);
        }
    }

    bool Start()
    {
        ::chmod(runtime.path().c_str(), 0700);
        env = QProcessEnvironment::systemEnvironment();
        for (const char *name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "SDL_AUDIODRIVER", "PULSE_SERVER"}) {
            env.remove(QString::fromLatin1(name));
        }
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.path().string()));
        bus.setProcessEnvironment(env);
        bus.start(QStringLiteral("dbus-daemon"), Words("--session --nofork --print-address=1"));
        if (!bus.waitForStarted(10000) || !WaitUntil([&] { return bus.canReadLine(); })) {
            return false;
        }
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromLatin1(bus.readLine().trimmed()));
        server.setProcessEnvironment(env);
        server.start(QStringLiteral("pipewire"), {});
        if (!server.waitForStarted(10000)
            || !WaitUntil([&] { return fs::exists(runtime.path() / "pipewire-0"); })) {
            return false;
        }
        for (auto [process, name] :
             {std::pair {&sessionManager, "wireplumber"}, {&pulse, "pipewire-pulse"}}) {
            process->setProcessEnvironment(env);
            process->setStandardOutputFile(QProcess::nullDevice());
            process->setStandardErrorFile(QProcess::nullDevice());
            process->start(QString::fromLatin1(name), {});
            if (!process->waitForStarted(10000)) {
                return false;
            }
        }
        if (!WaitUntil([&] { return Pactl(Words("info")); })) {
            return false;
        }
        return Pactl(Words("load-module module-null-sink sink_name=speakers"))
            && Pactl(Words("set-default-sink speakers"));
    }

    bool Pactl(const QStringList &arguments) const
    {
        QProcess run;
        run.setProcessEnvironment(env);
        run.start(QStringLiteral("pactl"), arguments);
        return run.waitForFinished(10000) && run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0;
    }

    QProcessEnvironment env;

private:
    TempDir runtime;
    QProcess bus, server, sessionManager, pulse;
};

// The first sample of a sound that starts after at least 100 ms of silence, from `from` on.
long Onset(const std::vector<std::int16_t> &samples, long from)
{
    constexpr int threshold = 1000;
    constexpr long quiet = rate / 10;
    long silentSince = from;
    for (long i = std::max(0L, from); i < static_cast<long>(samples.size()); ++i) {
        if (std::abs(samples[static_cast<std::size_t>(i)]) >= threshold) {
            if (i - silentSince >= quiet) {
                return i;
            }
            silentSince = i + 1;
        }
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    int rounds = 10, alarms = 2, settleMs = 1000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rounds") == 0) {
            rounds = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--alarms") == 0) {
            alarms = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--settle-ms") == 0) {
            settleMs = std::atoi(argv[i + 1]);
        }
    }
    SoundServer sound;
    if (!sound.Start()) {
        std::fprintf(stderr, "cannot start pipewire, wireplumber, pipewire-pulse and the null sink\n");
        return 1;
    }
    ProgramCopy folder {BELVANE_PROGRAM_DIR};
    writeFile(folder.file("tune.mid"), midi);
    writeFile(folder.file("beep.wav"), Beep());
    for (const auto &[level, name] : {std::pair {wavLevel, "beep.wav"}, {midiLevel, "tune.mid"}}) {
        belvane::ActionRecord record;
        record.enabled = 1;
        belvane::setFieldText(record.actionFile, folder.file(name));
        belvane::ActionListFile list;
        list.OpenOrCreate(0, folder.file("Belvane.acd"));
        list.BeginWrite();
        list.WriteRecord(level, record);
        list.Close();
    }
    const QString wave = QString::fromStdString(folder.file("beep.wav"));

    TempDir recordingDir;
    const std::string recordingFile = recordingDir.file("monitor.raw");
    QProcess recorder;
    recorder.setProcessEnvironment(sound.env);
    recorder.setStandardOutputFile(QString::fromStdString(recordingFile));
    recorder.start(
        QStringLiteral("parecord"),
        Words("--device=speakers.monitor --latency-msec=10 --raw --format=s16le --rate=48000 --channels=1"));
    if (!recorder.waitForStarted(10000)
        || !WaitUntil([&] { return fs::exists(recordingFile) && fs::file_size(recordingFile) > 0; })) {
        std::fprintf(stderr, "cannot record the sink's monitor\n");
        return 1;
    }

    // Pairs of (paplay, alarm), by kind: first alarm after start-up or a later one, WAV or MIDI.
    struct Pair
    {
        Clock::time_point yardstick, alarm; // when paplay and the alarm were started
        bool first, isMidi;
    };
    std::vector<Pair> pairs;
    for (int round = 0; round < rounds; ++round) {
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        if (!Launch(program, folder.file("belvane"), sound.env)
            || !WaitUntil([&] { return Accepting(folder.port); })) {
            std::fprintf(stderr, "the program did not start\n");
            return 1;
        }
        QThread::msleep(static_cast<unsigned long>(settleMs));
        std::vector<bool> kinds {round % 2 == 1};
        for (int i = 0; i < alarms; ++i) {
            kinds.push_back(false);
            kinds.push_back(true);
        }
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            Pair pair {{}, {}, i == 0, kinds[i]};
            QProcess paplay;
            paplay.setProcessEnvironment(sound.env);
            pair.yardstick = Clock::now();
            paplay.start(QStringLiteral("paplay"), {wave});
            paplay.waitForFinished(10000);
            QThread::msleep(300);
            LoopbackClient sender(folder.port);
            sender.send("#Sender=bench\n#Message=onset\n#Level="
                        + std::to_string(pair.isMidi ? midiLevel : wavLevel) + "\n");
            pair.alarm = Clock::now();
            sender.endWriting();
            sender.bytesUntilClosed();
            QThread::msleep(pair.isMidi ? 2200 : 800); // the piece may start late and rings on
            pairs.push_back(pair);
        }
        Stop(program);
        QThread::msleep(400);
    }
    Stop(recorder);

    const std::string bytes = readFile(recordingFile);
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    // Every sound starts after silence. The first in the recording is the first paplay's; from there the
    // clock says where to look for each sound: from 0.1 s before to 0.8 s after its start.
    std::vector<long> onsets;
    for (long from = 0, at; (at = Onset(samples, from)) >= 0; from = at + rate / 10) {
        onsets.push_back(at);
    }
    if (onsets.empty()) {
        std::fprintf(stderr, "nothing in the recording\n");
        return 1;
    }
    const auto onsetOf = [&](Clock::time_point started) -> std::optional<long> {
        const long expected =
            onsets.front() + static_cast<long>(Seconds(started - pairs.front().yardstick) * rate);
        const auto found = std::lower_bound(onsets.begin(), onsets.end(), expected - rate / 10);
        return found != onsets.end() && *found <= expected + rate * 8 / 10 ? std::optional(*found)
                                                                           : std::nullopt;
    };
    // delay of the alarm's sound after paplay's, each measured from its own start
    std::vector<double> firstWav, laterWav, firstMidi, laterMidi;
    int missing = 0;
    for (const Pair &pair : pairs) {
        const char *kind = pair.isMidi ? "MIDI" : "WAV ";
        const std::optional<long> yardstick = onsetOf(pair.yardstick), alarm = onsetOf(pair.alarm);
        if (!yardstick || !alarm) {
            ++missing;
            const long due =
                onsets.front() + static_cast<long>(Seconds(pair.alarm - pairs.front().yardstick) * rate);
            const auto next = std::lower_bound(onsets.begin(), onsets.end(), due - rate / 10);
            std::printf("%s %s: %s not heard (the next sound %.3f s after the alarm's start)\n",
                        pair.first ? "first" : "later", kind, yardstick ? "the alarm's sound" : "paplay's",
                        next == onsets.end() ? -1.0 : static_cast<double>(*next - due) / rate);
            continue;
        }
        const double apart = static_cast<double>(*alarm - *yardstick) / rate;
        const double late = 1000 * (apart - Seconds(pair.alarm - pair.yardstick));
        (pair.isMidi ? (pair.first ? firstMidi : laterMidi) : (pair.first ? firstWav : laterWav))
            .push_back(late);
        std::printf("%s %s: %+7.1f ms after paplay\n", pair.first ? "first" : "later", kind, late);
    }
    const auto row = [](const char *what, const std::vector<double> &values) {
        if (values.empty()) {
            std::printf("%-44s %8s\n", what, "-");
            return;
        }
        std::printf("%-44s %8.1f %8.1f %8.1f %4zu\n", what, Median(values),
                    *std::min_element(values.begin(), values.end()),
                    *std::max_element(values.begin(), values.end()), values.size());
    };
    std::printf("\n%-44s %8s %8s %8s %4s\n", "onset after a fresh paplay's, ms", "median", "min", "max", "n");
    row("WAV, first alarm after start-up", firstWav);
    row("WAV, later alarms", laterWav);
    row("MIDI first note, first alarm after start-up", firstMidi);
    row("MIDI first note, later alarms", laterMidi);
    if (missing > 0) {
        std::printf("%d sounds not heard where they were due\n", missing);
    }
    const bool met = missing == 0 && Median(firstWav) <= 20 && Median(laterWav) <= 20;
    std::printf("goal (WAV within 20 ms of paplay, median, first after start-up and later): %s\n",
                met ? "met" : "NOT met");
    return met ? 0 : 1;
}
