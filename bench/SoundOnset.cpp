// When an alarm's sound starts, beside a fresh paplay of the same sound, and whether every alarm's
// sound is heard, through the desktop's sound server as a Debian 12 desktop runs it: PipeWire,
// WirePlumber and PipeWire's PulseAudio service on a session bus of their own, with a null sink as the
// default sink, all started here for the current user. One recording of the sink's monitor holds every
// sound, so the server's and the recording's own delays are the same for both sides.
//
// Each round starts the real program afresh (headless, or with --x11 on a private X display with a
// window manager and a tray) and measures its resident memory before any sound. Its first alarm after
// start-up alternates between the WAV and the MIDI level, then more of each follow, every one after a fresh
// paplay of the same sound: the WAV itself, or the MIDI piece (one note on one instrument) rendered to a wave
// by the fluidsynth program with the same soundfont. Then a General MIDI piece of eleven instruments plays,
// then the alternating phase: alarms 250 ms apart, each stopping the sound before it, MIDI (a held organ
// note, 220 Hz) and WAV (1 kHz) in turn, each of which must be heard in the recording before the next one
// stops it. Last, the resident memory once the program has been quiet for five seconds (output closed,
// synthesizer kept), its CPU time in the five seconds after that, and its resident memory once it has given
// the synthesizer back.
//   build/bench/sound_onset [--rounds 10] [--alarms 2] [--alternating 100] [--settle-ms 1000]
//                           [--soundfont /usr/share/sounds/sf2/default-GM.sf2] [--keep FOLDER] [--x11]
#include "LoopbackClient.h"
#include "ProgramRun.h"
#include "ResidentMemory.h"
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
#include <fstream>
#include <iterator>
#include <numbers>
#include <optional>
#include <sstream>
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
constexpr int ensembleLevel = 6;
constexpr int organLevel = 7;
constexpr double beepHz = 1000, organHz = 220;

// A format-0 Standard MIDI File of `events` (delta times in ticks of 1/480 beat, at 120 beats a minute).
std::string midiFile(const std::string &events)
{
    const std::string track = events + "\0\xFF\x2F\0"s;
    std::string file = "MThd\0\0\0\6\0\0\0\1\1\xE0"s + "MTrk";
    for (int shift = 24; shift >= 0; shift -= 8) {
        file.push_back(static_cast<char>((track.size() >> shift) & 0xFF));
    }
    return file + track;
}

// Piano, middle C at once for half a second: one note on one instrument.
const std::string tune = midiFile("\0\xC0\x00\0\x90\x3C\x64\x83\x60\x80\x3C\0"s);
// Drawbar organ, A3 (220 Hz) at once and held for four seconds.
const std::string organ = midiFile("\0\xC0\x10\0\x90\x39\x64\xBC\x00\x80\x39\0"s);

// A General MIDI piece of eleven instruments: ten melodic channels with programs of their own and the
// drums, a chord each for a second.
std::string ensemble()
{
    const int programs[] = {0, 11, 19, 24, 32, 40, 48, 56, 65, 73};
    const int channels[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10};
    std::string events;
    for (int i = 0; i < 10; ++i) {
        events += "\0"s + char(0xC0 | channels[i]) + char(programs[i]);
        events += "\0"s + char(0x90 | channels[i]) + char(48 + 3 * i) + "\x50";
    }
    events += "\0\x99\x24\x64\0\x99\x2A\x64"s; // bass drum, closed hi-hat
    events +=
        "\x87\x40"s + char(0x80) + char(48) + "\0"s; // a second later the first note ends; the rest with it
    for (int i = 1; i < 10; ++i) {
        events += "\0"s + char(0x80 | channels[i]) + char(48 + 3 * i) + "\0"s;
    }
    return midiFile(events);
}

// A third of a second of 1 kHz at half the full scale, loud from its first sample on.
std::string beep()
{
    constexpr int beepRate = 44100;
    std::vector<std::int16_t> samples(beepRate / 3);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(
            16000
            * std::sin(2 * std::numbers::pi * beepHz * (double(i) + 0.25 * beepRate / beepHz) / beepRate));
    }
    return belvane::buildWaveImage(samples, beepRate);
}

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double median(std::vector<double> values)
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
            stop(*p);
        }
    }

    // Nothing once the null sink is the default sink; else what could not be started.
    const char *start()
    {
        ::chmod(runtime.path().c_str(), 0700);
        env = QProcessEnvironment::systemEnvironment();
        for (const char *name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "SDL_AUDIODRIVER", "PULSE_SERVER"}) {
            env.remove(QString::fromLatin1(name));
        }
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.path().string()));
        bus.setProcessEnvironment(env);
        bus.start(QStringLiteral("dbus-daemon"), words("--session --nofork --print-address=1"));
        if (!bus.waitForStarted(10000) || !waitUntil([&] { return bus.canReadLine(); })) {
            return "the session bus";
        }
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromLatin1(bus.readLine().trimmed()));
        server.setProcessEnvironment(env);
        server.start(QStringLiteral("pipewire"), {});
        if (!server.waitForStarted(10000)
            || !waitUntil([&] { return fs::exists(runtime.path() / "pipewire-0"); })) {
            return "pipewire";
        }
        for (auto [process, name] :
             {std::pair {&sessionManager, "wireplumber"}, {&pulse, "pipewire-pulse"}}) {
            process->setProcessEnvironment(env);
            process->setStandardOutputFile(QProcess::nullDevice());
            process->setStandardErrorFile(QProcess::nullDevice());
            process->start(QString::fromLatin1(name), {});
            if (!process->waitForStarted(10000)) {
                return name;
            }
        }
        if (!waitUntil([&] { return pactl(words("info")); })) {
            return "pipewire-pulse (pactl info has no answer)";
        }
        if (!pactl(words("load-module module-null-sink sink_name=speakers"))) {
            return "the null sink";
        }
        return pactl(words("set-default-sink speakers")) ? nullptr : "the null sink as the default sink";
    }

    bool pactl(const QStringList &arguments) const
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
long onset(const std::vector<std::int16_t> &samples, long from)
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

// The power of `hz` in the recording's `length` samples from `from` (Goertzel).
double powerOf(const std::vector<std::int16_t> &samples, long from, long length, double hz)
{
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * hz / rate);
    double previous = 0, before = 0;
    for (long i = std::max(0L, from); i < std::min<long>(from + length, static_cast<long>(samples.size()));
         ++i) {
        const double next = samples[static_cast<std::size_t>(i)] + coefficient * previous - before;
        before = previous;
        previous = next;
    }
    return previous * previous + before * before - coefficient * previous * before;
}

// Whether `hz` sounds, well above the other sound's frequency, in some 20 ms between `from` and `to`.
bool sounds(const std::vector<std::int16_t> &samples, long from, long to, double hz, double otherHz)
{
    constexpr long window = rate / 50;
    constexpr double audible = 1e11; // a sine of about 2 % of the full scale
    for (long at = from; at + window <= to; at += window / 2) {
        const double power = powerOf(samples, at, window, hz);
        if (power > audible && power > 10 * powerOf(samples, at, window, otherHz)) {
            return true;
        }
    }
    return false;
}

// The user and system CPU time of process `pid`, in clock ticks (of 10 ms).
long cpuTicks(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) { // fields 14 and 15 of the whole line
        if (i == 14) {
            user = std::stol(field);
        } else if (i == 15) {
            system = std::stol(field);
        }
    }
    return user + system;
}

// Sends an alarm of `level`; the time its sender closed.
Clock::time_point alarmAt(quint16 port, int level)
{
    LoopbackClient sender(port);
    sender.send("#Sender=bench\n#Message=onset\n#Level=" + std::to_string(level) + "\n");
    const Clock::time_point sent = Clock::now();
    sender.endWriting();
    sender.bytesUntilClosed();
    return sent;
}

// Renders `midiFile` to a wave with the fluidsynth program and `soundFont`; false when it cannot.
bool renderMidi(const std::string &midiFile, const std::string &soundFont, const std::string &waveFile)
{
    QProcess render;
    render.setStandardOutputFile(QProcess::nullDevice());
    render.start(QStringLiteral("fluidsynth"),
                 {QStringLiteral("-ni"), QStringLiteral("-g"), QStringLiteral("1.2"), QStringLiteral("-r"),
                  QStringLiteral("44100"), QStringLiteral("-F"), QString::fromStdString(waveFile),
                  QString::fromStdString(soundFont), QString::fromStdString(midiFile)});
    return render.waitForFinished(60000) && render.exitCode() == 0 && fs::exists(waveFile);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    int rounds = 10, alarms = 2, alternating = 100, settleMs = 1000;
    std::string soundFont = "/usr/share/sounds/sf2/default-GM.sf2";
    std::string keep; // a folder that keeps the recording and when each sound was started
    bool onX11 = false; // headless, or on a private X display with a window manager and a tray
    for (int i = 1; i + 1 < argc || (i < argc && std::strcmp(argv[i], "--x11") == 0); i += 2) {
        if (std::strcmp(argv[i], "--x11") == 0) {
            onX11 = true;
            --i;
        } else if (std::strcmp(argv[i], "--rounds") == 0) {
            rounds = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--alarms") == 0) {
            alarms = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--alternating") == 0) {
            alternating = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--settle-ms") == 0) {
            settleMs = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--soundfont") == 0) {
            soundFont = argv[i + 1];
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            keep = argv[i + 1];
        }
    }
    SoundServer sound;
    if (const char *failed = sound.start()) {
        std::fprintf(stderr, "cannot start %s for the sound server\n", failed);
        return 1;
    }
    ProgramCopy folder {BELVANE_PROGRAM_DIR};
    writeFile(folder.file("tune.mid"), tune);
    writeFile(folder.file("ensemble.mid"), ensemble());
    writeFile(folder.file("organ.mid"), organ);
    writeFile(folder.file("beep.wav"), beep());
    if (!renderMidi(folder.file("tune.mid"), soundFont, folder.file("tune-rendered.wav"))) {
        std::fprintf(stderr, "cannot render the MIDI piece with fluidsynth and %s\n", soundFont.c_str());
        return 1;
    }
    for (const auto &[level, name] : {std::pair {wavLevel, "beep.wav"},
                                      {midiLevel, "tune.mid"},
                                      {ensembleLevel, "ensemble.mid"},
                                      {organLevel, "organ.mid"}}) {
        belvane::ActionRecord record;
        record.enabled = 1;
        belvane::setFieldText(record.actionFile, folder.file(name));
        belvane::ActionListFile list;
        list.OpenOrCreate(0, folder.file("Belvane.acd"));
        list.BeginWrite();
        list.WriteRecord(level, record);
        list.Close();
    }
    QProcessEnvironment programEnv = sound.env;
    XSession x;
    if (onX11) {
        if (!x.start() || !x.startWindowManager()) {
            std::fprintf(stderr, "cannot start Xvfb, the tray host and the window manager\n");
            return 1;
        }
        for (const char *name : {"DISPLAY", "QT_QPA_PLATFORM"}) {
            programEnv.insert(QString::fromLatin1(name), x.env.value(QString::fromLatin1(name)));
        }
    }
    programEnv.insert(QStringLiteral("SDL_SOUNDFONTS"), QString::fromStdString(soundFont));
    programEnv.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("belvane.platform.debug=true"));

    TempDir recordingDir;
    const std::string recordingFile = recordingDir.file("monitor.raw");
    QProcess recorder;
    recorder.setProcessEnvironment(sound.env);
    recorder.setStandardOutputFile(QString::fromStdString(recordingFile));
    recorder.start(
        QStringLiteral("parecord"),
        words("--device=speakers.monitor --latency-msec=10 --raw --format=s16le --rate=48000 --channels=1"));
    if (!recorder.waitForStarted(10000)
        || !waitUntil([&] { return fs::exists(recordingFile) && fs::file_size(recordingFile) > 0; })) {
        std::fprintf(stderr, "cannot record the sink's monitor\n");
        return 1;
    }
    const Clock::time_point recordingStarted = Clock::now(); // give or take the first buffer

    // Pairs of (paplay, alarm): first alarm after start-up or a later one, WAV or MIDI, after what.
    struct Pair
    {
        Clock::time_point yardstick, alarm; // when paplay and the alarm were started
        bool first, isMidi, afterMidi;
    };
    // The alternating phase's alarms; each round's phase is located by the round's last pair.
    struct Alternate
    {
        Clock::time_point alarm, next;
        bool isMidi;
        std::size_t anchor; // the pair before it
    };
    std::vector<Pair> pairs;
    std::vector<Alternate> alternates;
    std::vector<double> idleKiB, keptKiB, afterMidiKiB, quietCpuMs;
    for (int round = 0; round < rounds; ++round) {
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        if (!launch(program, folder.file("belvane"), programEnv)
            || !waitUntil([&] { return accepting(folder.port); })) {
            std::fprintf(stderr, "the program did not start\n");
            return 1;
        }
        QThread::msleep(static_cast<unsigned long>(settleMs));
        idleKiB.push_back(static_cast<double>(belvane::bench::residentKiB(program.processId())));
        std::vector<bool> kinds {round % 2 == 1};
        for (int i = 0; i < alarms; ++i) {
            kinds.push_back(false);
            kinds.push_back(true);
        }
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            Pair pair {{}, {}, i == 0, kinds[i], i > 0 && kinds[i - 1]};
            QProcess paplay;
            paplay.setProcessEnvironment(sound.env);
            pair.yardstick = Clock::now();
            paplay.start(
                QStringLiteral("paplay"),
                {QString::fromStdString(folder.file(pair.isMidi ? "tune-rendered.wav" : "beep.wav"))});
            paplay.waitForFinished(10000);
            // The rendered piece rings on for a while (its release and reverb): the alarm's sound is
            // found after silence.
            QThread::msleep(pair.isMidi ? 1500 : 300);
            pair.alarm = alarmAt(folder.port, pair.isMidi ? midiLevel : wavLevel);
            QThread::msleep(pair.isMidi ? 1200 : 800); // the piece rings on
            pairs.push_back(pair);
        }
        alarmAt(folder.port, ensembleLevel);
        QThread::msleep(3000);
        for (int i = 0; i < alternating; ++i) {
            const bool isMidi = i % 2 == 0;
            const Clock::time_point sent = alarmAt(folder.port, isMidi ? organLevel : wavLevel);
            if (!alternates.empty() && alternates.back().next == Clock::time_point()) {
                alternates.back().next = sent;
            }
            alternates.push_back(Alternate {sent, {}, isMidi, pairs.size() - 1});
            QThread::msleep(250);
        }
        alternates.back().next = Clock::now();
        QThread::msleep(5000); // quiet: the output closes, the synthesizer is kept
        keptKiB.push_back(static_cast<double>(belvane::bench::residentKiB(program.processId())));
        const long cpuBefore = cpuTicks(program.processId());
        QThread::msleep(5000);
        quietCpuMs.push_back(10.0 * static_cast<double>(cpuTicks(program.processId()) - cpuBefore));
        QThread::msleep(30000); // the synthesizer is given back
        afterMidiKiB.push_back(static_cast<double>(belvane::bench::residentKiB(program.processId())));
        stop(program);
        QThread::msleep(400);
    }
    const Clock::time_point recordingStopped = Clock::now();
    stop(recorder);

    const std::string bytes = readFile(recordingFile);
    if (!keep.empty()) {
        fs::copy_file(recordingFile, fs::path(keep) / "monitor.raw", fs::copy_options::overwrite_existing);
        std::ofstream timeline(fs::path(keep) / "timeline.txt");
        for (const Pair &pair : pairs) {
            timeline << (pair.isMidi ? "midi " : "wave ") << seconds(pair.yardstick - recordingStarted) << ' '
                     << seconds(pair.alarm - recordingStarted) << '\n';
        }
        for (const Alternate &alternate : alternates) {
            timeline << (alternate.isMidi ? "organ " : "beep ") << seconds(alternate.alarm - recordingStarted)
                     << '\n';
        }
        timeline << "stopped " << seconds(recordingStopped - recordingStarted) << '\n';
    }
    std::vector<std::int16_t> samples(bytes.size() / 2);
    if (!samples.empty()) {
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    }
    // Every sound of a pair starts after silence. The first in the recording is the first paplay's; from
    // there the clock says where to look for each sound: from 0.25 s before to 0.8 s after its start.
    std::vector<long> onsets;
    for (long from = 0, at; (at = onset(samples, from)) >= 0; from = at + rate / 10) {
        onsets.push_back(at);
    }
    if (onsets.empty()) {
        std::fprintf(stderr, "nothing in the recording\n");
        return 1;
    }
    const auto due = [&](Clock::time_point started) {
        return onsets.front() + static_cast<long>(seconds(started - pairs.front().yardstick) * rate);
    };
    // The recorder loses a little of the monitor now and then (0.4 s in a run of 15 minutes on a busy
    // machine), so the clock says where a sound is only from where the pair before was found on.
    const auto onsetOf = [&](Clock::time_point started, long drift) -> std::optional<long> {
        const long expected = due(started) + drift;
        const auto found = std::lower_bound(onsets.begin(), onsets.end(), expected - rate / 4);
        return found != onsets.end() && *found <= expected + rate * 8 / 10 ? std::optional(*found)
                                                                           : std::nullopt;
    };
    // delay of the alarm's sound after paplay's, each measured from its own start
    std::vector<double> firstWav, wavAfterWav, wavAfterMidi, firstMidi, laterMidi;
    std::vector<long> drift(pairs.size(), 0); // where the recording has each pair's paplay, beyond the clock
    int missing = 0;
    for (std::size_t p = 0; p < pairs.size(); ++p) {
        const Pair &pair = pairs[p];
        const char *kind = pair.isMidi ? "MIDI" : "WAV ";
        const long before = p > 0 ? drift[p - 1] : 0;
        const std::optional<long> yardstick = onsetOf(pair.yardstick, before);
        drift[p] = yardstick ? *yardstick - due(pair.yardstick) : before;
        const std::optional<long> alarm = onsetOf(pair.alarm, drift[p]);
        if (!yardstick || !alarm) {
            ++missing;
            const long expected = due(pair.alarm) + drift[p];
            const auto next = std::lower_bound(onsets.begin(), onsets.end(), expected - rate / 4);
            std::printf("%s %s: %s not heard (the next sound %.3f s after the alarm's start)\n",
                        pair.first ? "first" : "later", kind, yardstick ? "the alarm's sound" : "paplay's",
                        next == onsets.end() ? -1.0 : static_cast<double>(*next - expected) / rate);
            continue;
        }
        const double apart = static_cast<double>(*alarm - *yardstick) / rate;
        const double late = 1000 * (apart - seconds(pair.alarm - pair.yardstick));
        (pair.isMidi ? (pair.first ? firstMidi : laterMidi)
                     : (pair.first ? firstWav : (pair.afterMidi ? wavAfterMidi : wavAfterWav)))
            .push_back(late);
        std::printf("%s %s: %+7.1f ms after paplay\n", pair.first ? "first" : "later", kind, late);
    }
    // Each alternating sound between its alarm and the next one's, where the round's last pair says
    // the recording is.
    int unheard = 0;
    for (const Alternate &alternate : alternates) {
        const long from = due(alternate.alarm) + drift[alternate.anchor];
        const long to = due(alternate.next) + drift[alternate.anchor] + rate / 20;
        if (!sounds(samples, from, to, alternate.isMidi ? organHz : beepHz,
                    alternate.isMidi ? beepHz : organHz)) {
            ++unheard;
            std::printf("alternating %s: not heard between its alarm and the next\n",
                        alternate.isMidi ? "MIDI" : "WAV ");
        }
    }
    const auto row = [](const char *what, const std::vector<double> &values) {
        if (values.empty()) {
            std::printf("%-44s %8s\n", what, "-");
            return;
        }
        std::printf("%-44s %8.1f %8.1f %8.1f %4zu\n", what, median(values),
                    *std::min_element(values.begin(), values.end()),
                    *std::max_element(values.begin(), values.end()), values.size());
    };
    std::printf("\nsoundfont %s\n", soundFont.c_str());
    std::printf("%-44s %8s %8s %8s %4s\n", "onset after a fresh paplay's, ms", "median", "min", "max", "n");
    row("WAV, first alarm after start-up", firstWav);
    row("WAV after a WAV", wavAfterWav);
    row("WAV after a MIDI piece", wavAfterMidi);
    row("MIDI first note, first alarm after start-up", firstMidi);
    row("MIDI first note, later alarms", laterMidi);
    row("resident KiB before any sound", idleKiB);
    row("resident KiB 5 s quiet, synthesizer kept", keptKiB);
    row("CPU ms in the 5 s after that", quietCpuMs);
    row("resident KiB 40 s quiet, synthesizer given back", afterMidiKiB);
    std::printf("%d of %zu paired sounds and %d of %zu alternating sounds not heard\n", missing, pairs.size(),
                unheard, alternates.size());
    const bool met = missing == 0 && unheard == 0 && median(firstWav) <= 20 && median(wavAfterWav) <= 20
        && median(wavAfterMidi) <= 20 && median(laterMidi) <= 30 && median(firstMidi) <= 60
        && median(afterMidiKiB) - median(idleKiB) <= 8 * 1024
        && *std::max_element(quietCpuMs.begin(), quietCpuMs.end()) == 0;
    std::printf(
        "goals (WAV within 20 ms of paplay, MIDI within 30 ms, its first after start-up within 60 ms, "
        "medians; every sound heard; at most 8 MiB more after MIDI; no CPU when quiet): %s\n",
        met ? "met" : "NOT met");
    return met ? 0 : 1;
}
