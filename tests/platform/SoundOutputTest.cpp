#include "LoggedLines.h"
#include "SdlAudio.h"
#include "SdlMediaCommands.h"
#include "SdlWavePlayer.h"
#include "TempDir.h"
#include "Wait.h"
#include "WaveImage.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>
#include <numeric>
#include <span>
#include <vector>

#include <sys/stat.h>

namespace belvane {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Tones = std::vector<int>;
constexpr int rate = 44100;
constexpr int generous = 30000; // ms: the disk driver renders in real time

// A format-0 MIDI file: flute, two quarter notes (middle C, then G, 480 ticks each) at 120 beats a minute.
const std::string midi =
    "MThd\0\0\0\6\0\0\0\1\1\xE0"
    "MTrk\0\0\0\x19"
    "\0\xC0\x49\0\x90\x3C\x64\x83\x60\x80\x3C\0\0\x90\x43\x64\x83\x60\x80\x43\0\0\xFF\x2F\0"s;
// The same notes without a program change: the channel's first preset, a piano.
const std::string piano = midi.substr(0, 21) + "\x16" + midi.substr(25);

// A wave file of 440 Hz for `lowSeconds`, then 1320 Hz for `highSeconds`.
std::string twoTones(double lowSeconds, double highSeconds)
{
    std::vector<std::int16_t> samples(static_cast<std::size_t>((lowSeconds + highSeconds) * rate));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double hz = i < lowSeconds * rate ? 440 : 1320;
        samples[i] = static_cast<std::int16_t>(12000 * std::sin(2 * std::numbers::pi * hz * i / rate));
    }
    return buildWaveImage(samples, rate);
}

// The left channel of rendered output, one sample a frame.
using Samples = std::span<const int>;

// The first frame at or after `from` whose left sample reaches `level`, or -1.
long onsetFrame(Samples left, long from, int level = 300)
{
    const auto at = std::find_if(left.begin() + std::min(from, long(left.size())), left.end(),
                                 [level](int sample) { return std::abs(sample) >= level; });
    return at == left.end() ? -1 : at - left.begin();
}

// The last frame whose left sample is not 0, or -1.
long lastSoundFrame(Samples left)
{
    return (left.rend() - std::find_if(left.rbegin(), left.rend(), [](int sample) { return sample != 0; }))
        - 1;
}

// The amplitude of `hz` in `left` (Goertzel).
double amplitudeAt(Samples left, double hz)
{
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * hz / rate);
    double previous = 0, before = 0;
    for (const int sample : left) {
        before = std::exchange(previous, sample + coefficient * previous - before);
    }
    const double power = previous * previous + before * before - coefficient * previous * before;
    return 2 * std::sqrt(std::max(power, 0.0)) / std::max<double>(1, double(left.size()));
}

// The frequencies of the rendered output, one for each 20 ms window of the left channel that is not
// silent: the zero-crossing estimate (two crossings a period). The windows start where the sound does:
// the device may render a buffer of silence before it, and a window half silent would count half the
// crossings.
Tones windowTones(Samples left)
{
    constexpr long window = rate / 50;
    Tones tones;
    for (long at = onsetFrame(left, 0); at >= 0 && at + window <= long(left.size()); at += window) {
        const Samples w = left.subspan(std::size_t(at), window);
        const int crossings = std::inner_product(w.begin() + 1, w.end(), w.begin(), 0, std::plus<>(),
                                                 [](int a, int b) { return int((a >= 0) != (b >= 0)); });
        if (std::sqrt(std::inner_product(w.begin(), w.end(), w.begin(), 0.0) / window) >= 300) {
            tones.push_back(crossings * 25);
        }
    }
    return tones;
}

// The expected tones in the order they sound: windows within 10 % of one, repeats collapsed; the short
// blends where one tone turns into the next match none and drop out.
Tones heard(Samples rendered, const Tones &expected)
{
    Tones tones;
    for (const int hz : windowTones(rendered)) {
        for (const int t : expected) {
            if (std::abs(hz - t) <= t / 10 && (tones.empty() || tones.back() != t)) {
                tones.push_back(t);
            }
        }
    }
    return tones;
}

// Sounds are rendered into a file through SDL's disk driver instead of a sound card. The output closes
// after a short quiet while.
struct SoundOutputTest : ::testing::Test
{
    // The left channel of what was rendered from `frame` on (16-bit stereo, as SdlAudio opens it).
    std::vector<int> rendered(long frame = 0) const
    {
        std::ifstream in(output, std::ios::binary);
        in.seekg(frame * 4);
        const std::string bytes {std::istreambuf_iterator<char>(in), {}};
        std::vector<int> left(bytes.size() / 4);
        for (std::size_t i = 0; i < left.size(); ++i) {
            left[i] = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[4 * i])
                                                | static_cast<unsigned char>(bytes[4 * i + 1]) << 8);
        }
        return left;
    }
    // Frames rendered since the output opened.
    long frames() const { return fs::exists(output) ? static_cast<long>(fs::file_size(output) / 4) : 0; }
    // False when `seconds` of sound (from the output's opening) were not rendered in time.
    [[nodiscard]] bool waitForOutput(double seconds)
    {
        return testing::waitUntil([&] { return frames() >= static_cast<long>(seconds * rate); },
                                  std::chrono::milliseconds(generous));
    }
    std::string file(const std::string &name, const std::string &bytes) const
    {
        testing::writeFile(dir.file(name), bytes);
        return dir.file(name);
    }

    testing::TempDir dir;
    std::string output = dir.file("rendered.raw");
    const bool toDisk =
        setenv("SDL_AUDIODRIVER", "disk", 1) == 0 && setenv("SDL_DISKAUDIOFILE", output.c_str(), 1) == 0;
    SdlAudio audio {nullptr, SdlAudio::sdlLibrary, std::chrono::milliseconds(300)};
    SdlWavePlayer waves {audio};
    SdlMediaCommands media {audio, SynthSetup {.keep = std::chrono::milliseconds(100)}};
    QSignalSpy closed {&audio, &SdlAudio::deviceClosed};
};

TEST_F(SoundOutputTest, WaveRestartsWhenReplacedPlaysOnceOrStopsAndUnplayableFilesSoundTheAlert)
{
    const auto idleThreads = std::distance(fs::directory_iterator("/proc/self/task"), {});
    const std::string path = file("two tones.wav", twoTones(0.3, 0.6));
    ASSERT_TRUE(waves.play(path));
    ASSERT_TRUE(waitForOutput(0.6));
    ASSERT_TRUE(waves.play(path));
    ASSERT_TRUE(closed.wait(generous));
    EXPECT_EQ(closed.count(), 1); // the output stayed open across the replacement
    EXPECT_FALSE(audio.isOpen() || waves.isPlaying());
    // No audio thread left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator("/proc/self/task"), {}), idleThreads);
    EXPECT_EQ(heard(rendered(), {440, 1320}), (Tones {440, 1320, 440, 1320}));

    ASSERT_TRUE(waves.play(file("long.wav", twoTones(20, 0))));
    ASSERT_TRUE(waitForOutput(0.3));
    waves.stop();
    EXPECT_FALSE(waves.isPlaying());
    ASSERT_TRUE(closed.wait(generous));
    // Silent at once, well before the wave's end (the file trails the output by a few buffers).
    EXPECT_LT(lastSoundFrame(rendered()) - onsetFrame(rendered(), 0), rate * 45 / 100);
    EXPECT_EQ(heard(rendered(), {440}), (Tones {440}));
    waves.stop(); // nothing plays: no effect

    file("text.wav", "RIFF, but only in words: this is no wave at all\n");
    ASSERT_EQ(mkfifo(dir.file("pipe.wav").c_str(), 0600), 0); // must not block the player
    for (const std::string name : {"missing.wav", "text.wav", "pipe.wav", ""}) { // "": the folder
        SCOPED_TRACE(name);
        closed.clear();
        // SDL says why it cannot read a file that reached it, under the file's name.
        const QStringList said =
            testing::loggedLines([&] { ASSERT_TRUE(waves.play(dir.file(name))); }, "belvane.platform");
        EXPECT_EQ(said.filter(QString::fromStdString(dir.file(name) + ": ")).size(), name == "text.wav");
        ASSERT_TRUE(closed.wait(generous));
        EXPECT_EQ(heard(rendered(), {660, 880}), (Tones {880, 660, 880, 660}));
    }
}

TEST_F(SoundOutputTest, MidiPlaysOnceOrStopsKeepsItsAliasUntilClosedAndCommandsReportTheirErrors)
{
    file("tune.mid", midi);
    file("a type sequencer alias b.mid", midi);
    file("text.mid", "no MIDI here\n");
    ASSERT_EQ(mkfifo(dir.file("pipe.mid").c_str(), 0600), 0);
    const std::string open = "open " + dir.path().string() + "/";
    const std::string alias = " type sequencer alias .MID";
    QSignalSpy ended(&media, &SdlMediaCommands::finished);
    ASSERT_EQ(media.send(open + "tune.mid" + alias), MediaResult::Success);
    // The first note comes with the output's first buffers, whether the piece opens the output or
    // replaces a wave on it; counted in rendered frames, from the output's opening or the wave's end.
    for (const bool opened : {false, true}) {
        SCOPED_TRACE(opened ? "output open" : "output closed");
        if (opened) {
            ASSERT_TRUE(waves.play(file("long.wav", twoTones(5, 0))));
            ASSERT_TRUE(waitForOutput(0.1));
            waves.stop();
        }
        ASSERT_EQ(media.send("play .MID"), MediaResult::Success);
        EXPECT_TRUE(media.isPlaying(".mid"));
        ASSERT_TRUE(ended.wait(generous));
        EXPECT_FALSE(media.isPlaying(".MID"));
        ASSERT_TRUE(closed.wait(generous));
        const std::vector<int> out = rendered();
        // After the wave, the first frame of 32 of digital silence.
        const long dispatched = opened ? std::search_n(out.begin(), out.end(), 32, 0) - out.begin() : 0;
        ASSERT_LT(dispatched, long(out.size()));
        EXPECT_LE(onsetFrame(out, dispatched, 1) - dispatched, 3 * SdlAudio::chunkFrames);
        EXPECT_GT(windowTones(out).size(), 25u) << "two half-second notes";
    }
    // Given back after a quiet while, the synthesizer is made again for the next piece, before the
    // output opens.
    ASSERT_TRUE(testing::waitUntil([&] { return !media.holdsSynth(); }));
    ASSERT_EQ(media.send("play .MID"), MediaResult::Success);
    ASSERT_TRUE(waitForOutput(0.15));
    EXPECT_EQ(media.send("stop .MID"), MediaResult::Success);
    EXPECT_FALSE(media.isPlaying(".MID"));
    ASSERT_TRUE(closed.wait(generous));
    EXPECT_LE(onsetFrame(rendered(), 0, 1), 3 * SdlAudio::chunkFrames);
    // No ringing tail: silent at once, long before the first note's end.
    EXPECT_LT(lastSoundFrame(rendered()) - onsetFrame(rendered(), 0, 1), rate * 3 / 10);
    // A path that brings the command to exactly 255 bytes, and one byte more.
    const std::string fits = open + std::string(255 - open.size() - alias.size(), 'x') + alias;
    const std::pair<std::string, MediaResult> cases[] = {
        {open + "tune.mid" + alias, MediaResult::AliasInUse}, // kept after its end and its stop
        {"close .MID", MediaResult::Success},
        {"stop .MID", MediaResult::UnknownAlias},
        {open + "missing.mid" + alias, MediaResult::FileNotFound},
        {open + "text.mid" + alias, MediaResult::CannotPlay},
        {open + "pipe.mid" + alias, MediaResult::CannotPlay},
        {fits, MediaResult::FileNotFound},
        {"x" + fits, MediaResult::CommandTooLong},
        {open + "tune.mid", MediaResult::MissingParameter},
        {"pause .MID", MediaResult::UnknownCommand},
        {open + "a type sequencer alias b.mid" + alias, MediaResult::Success}, // the last separator counts
        {"stop .mid", MediaResult::Success},
        {"close .MID", MediaResult::Success},
    };
    for (const auto &[command, result] : cases) {
        EXPECT_EQ(media.send(command), result) << command;
        EXPECT_FALSE(audio.isOpen() || media.isPlaying(".MID")) << command;
    }
}

// A wave and a MIDI piece replace each other in tight succession on one output, as alarms of both kinds
// do: each time the new sound is what the output renders from its next buffers on, never the old one
// ringing on, nor silence.
TEST_F(SoundOutputTest, WavesAndMidiPiecesReplacingEachOtherAreEachHeardAtOnce)
{
    const std::string wave = file("low.wav", twoTones(1, 0)); // 440 Hz: none of the piano's middle C
    const std::string open = "open " + file("tune.mid", piano) + " type sequencer alias .MID";
    long heardAt = 0; // where the sound before was found in the output
    for (int i = 0; i < 200; ++i) {
        const bool isMidi = i % 2 == 1;
        SCOPED_TRACE(std::to_string(i) + (isMidi ? " MIDI" : " wave"));
        // Output written before the command was mixed before it: the new sound can only follow.
        const long sentAt = std::max(heardAt, frames());
        if (isMidi) {
            waves.stop();
            ASSERT_EQ(media.send(open), MediaResult::Success);
            ASSERT_EQ(media.send("play .MID"), MediaResult::Success);
        } else {
            static_cast<void>(media.send("stop .MID"));
            static_cast<void>(media.send("close .MID"));
            ASSERT_TRUE(waves.play(wave));
        }
        // 20 ms of the new sound alone: the wave and nothing else, or the piano with no wave under it.
        const auto alone = [isMidi](Samples part) {
            const double tone = amplitudeAt(part, 440),
                         level = std::sqrt(std::inner_product(part.begin(), part.end(), part.begin(), 0.0)
                                           / double(part.size()));
            return isMidi ? level > 300 && tone < 1000 : tone > 9000 && level < 1.1 * tone / std::sqrt(2.0);
        };
        long found = -1;
        const auto heardAlone = [&] {
            const std::vector<int> out = rendered(sentAt);
            for (long at = 0; at + rate / 50 <= long(out.size()) && found < 0; at += rate / 200) {
                found = alone(Samples(out).subspan(std::size_t(at), rate / 50)) ? sentAt + at : -1;
            }
            return found >= 0;
        };
        ASSERT_TRUE(testing::waitUntil(heardAlone, std::chrono::seconds(5))) << "not heard";
        // Soon after the command (the first piece waits for the synthesizer's making), however slowly
        // this test looks for it.
        EXPECT_TRUE(i < 2 || found - sentAt < rate * 3 / 10) << (found - sentAt) << " frames later";
        heardAt = found + rate / 50;
    }
    static_cast<void>(media.send("close .MID"));
    waves.stop();
    EXPECT_TRUE(closed.wait(generous));
}

// SDL and FluidSynth are loaded with the first sound that needs them, and FluidSynth needs a soundfont:
// the user's (SDL_SOUNDFONTS) first, then Debian's. Where one is missing its sounds only report why:
// without SDL nothing sounds, without FluidSynth or a soundfont no MIDI.
TEST(SoundLibraryTest, AMissingLibraryOrSoundFontLeavesItsSoundsSilentAndSaysWhy)
{
    testing::TempDir dir;
    testing::writeFile(dir.file("tune.mid"), midi);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", dir.file("rendered.raw").c_str(), 1);
    const std::string timidity = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    const std::vector<std::string> noFonts {dir.file("none.sf2"), dir.file("none.sf3")};
    using enum MediaResult;
    // The libraries SDL and FluidSynth are loaded from, SDL_SOUNDFONTS, Debian's soundfonts, what open and
    // play answer.
    using Row = std::tuple<const char *, std::string, std::string, std::vector<std::string>, MediaResult,
                           MediaResult>;
    const Row rows[] = {
        {"libno-such-sdl.so.0", "libfluidsynth.so.3", "", {timidity}, Success, NoOutputDevice},
        {SdlAudio::sdlLibrary, "libno-such-fluidsynth.so.3", "", {timidity}, CannotPlay, Success},
        {SdlAudio::sdlLibrary, "libfluidsynth.so.3", "", noFonts, NoSoundFont, Success},
        {SdlAudio::sdlLibrary, "libfluidsynth.so.3", dir.file("none.sf2"), noFonts, NoSoundFont, Success},
        {SdlAudio::sdlLibrary, "libfluidsynth.so.3", dir.file("none.sf2") + ":" + timidity, noFonts, {}, {}},
    };
    for (const auto &[sdlFile, fluidFile, named, fonts, open, play] : rows) {
        SCOPED_TRACE(std::string(sdlFile) + " " + fluidFile + " [" + named + "]");
        setenv("SDL_SOUNDFONTS", named.c_str(), 1);
        SdlAudio audio {nullptr, sdlFile};
        SdlWavePlayer waves {audio};
        SdlMediaCommands media {audio, SynthSetup {fluidFile, fonts}};
        EXPECT_EQ(waves.play(dir.file("missing.wav")), sdlFile == SdlAudio::sdlLibrary)
            << "not even the built-in alert";
        waves.stop();
        ASSERT_EQ(media.send("open " + dir.file("tune.mid") + " type sequencer alias .MID"), open);
        EXPECT_EQ(open == Success ? media.send("play .MID") : Success, play);
        EXPECT_EQ(media.isPlaying(".MID"), open == Success && play == Success);
    }
    unsetenv("SDL_SOUNDFONTS");
}

} // namespace
} // namespace belvane
