#include "SdlAudio.h"
#include "SdlMediaCommands.h"
#include "SdlWavePlayer.h"
#include "TempDir.h"
#include "WaveImage.h"
#include "XSession.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
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

// The frequencies of the rendered output (16-bit stereo, as SdlAudio opens it), one for each 20 ms
// window of the left channel that is not silent: the zero-crossing estimate (two crossings a period).
// The windows start where the sound does: the device may render a buffer of silence before it, and a
// window half silent would count half the crossings.
Tones windowTones(const std::string &rendered)
{
    constexpr std::size_t window = 2 * rate / 50; // samples, left and right
    std::vector<std::int16_t> samples(rendered.size() / 2);
    std::memcpy(samples.data(), rendered.data(), samples.size() * 2);
    std::size_t first = 0;
    while (first < samples.size() && std::abs(samples[first]) < 300) {
        first += 2;
    }
    Tones tones;
    for (std::size_t start = first; start + window <= samples.size(); start += window) {
        double energy = 0;
        int crossings = 0;
        for (std::size_t i = start; i < start + window; i += 2) {
            energy += double(samples[i]) * samples[i];
            crossings += i > start && (samples[i] >= 0) != (samples[i - 2] >= 0) ? 1 : 0;
        }
        if (std::sqrt(2 * energy / window) >= 300) {
            tones.push_back(crossings * 25);
        }
    }
    return tones;
}

// The expected tones in the order they sound: windows within 10 % of one, repeats collapsed; the short
// blends where one tone turns into the next match none and drop out.
Tones heard(const std::string &rendered, const Tones &expected)
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

std::size_t threadCount()
{
    const auto tasks = fs::directory_iterator("/proc/self/task");
    return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

// Sounds are rendered into a file through SDL's disk driver instead of a sound card.
class SoundOutputTest : public ::testing::Test
{
protected:
    std::string rendered() const { return testing::readFile(output); }
    // False when `seconds` of sound were not rendered in time.
    [[nodiscard]] bool waitForOutput(double seconds)
    {
        const auto bytes = static_cast<std::uintmax_t>(seconds * rate) * 4;
        std::error_code missing; // the file comes with the device's first opening
        return testing::WaitUntil([&] { return fs::file_size(output, missing) >= bytes && !missing; },
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
    SdlAudio audio;
    SdlWavePlayer waves {audio};
    SdlMediaCommands media {audio};
    QSignalSpy closed {&audio, &SdlAudio::deviceClosed};
};

TEST_F(SoundOutputTest, WaveRestartsWhenReplacedPlaysOnceOrStopsAndUnplayableFilesSoundTheAlert)
{
    const std::size_t idleThreads = threadCount();
    const std::string path = file("two tones.wav", twoTones(0.3, 0.6));
    ASSERT_TRUE(waves.play(path));
    ASSERT_TRUE(waitForOutput(0.6));
    ASSERT_TRUE(waves.play(path));
    ASSERT_TRUE(closed.wait(generous));
    EXPECT_EQ(closed.count(), 1); // the device stayed open across the replacement
    EXPECT_FALSE(audio.isOpen() || waves.isPlaying());
    EXPECT_EQ(threadCount(), idleThreads); // no audio thread left behind
    EXPECT_EQ(heard(rendered(), {440, 1320}), (Tones {440, 1320, 440, 1320}));

    ASSERT_TRUE(waves.play(file("long.wav", twoTones(20, 0))));
    ASSERT_TRUE(waitForOutput(0.3));
    waves.stop();
    EXPECT_FALSE(audio.isOpen());
    const std::string stopped = rendered();
    QTest::qWait(300);
    EXPECT_EQ(rendered().size(), stopped.size()); // silent since
    EXPECT_EQ(heard(stopped, {440}), (Tones {440}));
    EXPECT_LT(stopped.size(), 20u * rate * 4); // well before its end
    waves.stop(); // nothing plays: no effect

    file("text.wav", "RIFF, but only in words: this is no wave at all\n");
    ASSERT_EQ(mkfifo(dir.file("pipe.wav").c_str(), 0600), 0); // must not block the player
    for (const char *name : {"missing.wav", "text.wav", "pipe.wav", ""}) { // "": the folder
        SCOPED_TRACE(name);
        closed.clear();
        ASSERT_TRUE(waves.play(dir.file(name)));
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
    ASSERT_EQ(media.send(open + "tune.mid" + alias), 0);
    for (int round = 0; round < 2; ++round) { // an ended piece closes the device; play starts it again
        ASSERT_EQ(media.send("play .MID"), 0);
        EXPECT_TRUE(audio.isOpen() && media.isPlaying(".mid"));
        ASSERT_TRUE(ended.wait(generous));
        EXPECT_FALSE(audio.isOpen() || media.isPlaying(".MID"));
        EXPECT_GT(windowTones(rendered()).size(), 25u) << "two half-second notes";
    }
    ASSERT_EQ(media.send("play .MID"), 0);
    ASSERT_TRUE(waitForOutput(0.2));
    EXPECT_EQ(media.send("stop .MID"), 0);
    EXPECT_FALSE(audio.isOpen() || media.isPlaying(".MID"));
    // A path that brings the command to exactly 255 bytes, and one byte more.
    const std::string fits = open + std::string(255 - open.size() - alias.size(), 'x') + alias;
    const std::pair<std::string, int> cases[] = {
        {open + "tune.mid" + alias, MediaCommands::aliasInUse}, // kept after its end and its stop
        {"close .MID", 0},
        {"stop .MID", MediaCommands::unknownAlias},
        {open + "missing.mid" + alias, MediaCommands::fileNotFound},
        {open + "text.mid" + alias, MediaCommands::cannotPlay},
        {open + "pipe.mid" + alias, MediaCommands::cannotPlay},
        {fits, MediaCommands::fileNotFound},
        {"x" + fits, MediaCommands::commandTooLong},
        {open + "tune.mid", MediaCommands::missingParameter},
        {"pause .MID", MediaCommands::unknownCommand},
        {open + "a type sequencer alias b.mid" + alias, 0}, // the last separator counts
        {"stop .mid", 0},
        {"close .MID", 0},
    };
    for (const auto &[command, result] : cases) {
        EXPECT_EQ(media.send(command), result) << command;
        EXPECT_FALSE(audio.isOpen() && !media.isOpen(".MID")) << command;
    }
    EXPECT_FALSE(audio.isOpen());
}

// SDL and SDL_mixer are loaded with the first sound that needs them; where one cannot be, its sounds
// only report failure: without SDL nothing sounds, without SDL_mixer no music.
TEST(SoundLibraryTest, AMissingLibraryLeavesItsSoundsSilent)
{
    testing::TempDir dir;
    testing::writeFile(dir.file("tune.mid"), midi);
    for (const char *sdlFile : {"libno-such-sdl.so.0", SdlAudio::sdlLibrary}) {
        SCOPED_TRACE(sdlFile);
        SdlAudio audio {nullptr, sdlFile, "libno-such-mixer.so.0"};
        SdlWavePlayer waves {audio};
        SdlMediaCommands media {audio};
        if (sdlFile != SdlAudio::sdlLibrary) {
            EXPECT_FALSE(waves.play(dir.file("missing.wav"))) << "not even the built-in alert";
        }
        EXPECT_EQ(media.send("open " + dir.file("tune.mid") + " type sequencer alias .MID"),
                  MediaCommands::cannotPlay);
        EXPECT_FALSE(audio.isOpen() || waves.isPlaying() || media.isOpen(".MID"));
    }
}

} // namespace
} // namespace belvane
