#include "SdlAudio.h"
#include "SdlMediaCommands.h"
#include "SdlWavePlayer.h"
#include "TempDir.h"
#include "WaveImage.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <vector>

#include <sys/stat.h>

namespace belvane {
namespace {

using testing::TempDir;
constexpr int rate = 44100;
constexpr int generous = 30000; // ms: the disk driver renders in real time
constexpr std::size_t bytesPerFrame = 4; // what SdlAudio opens: 16-bit stereo

// 440 Hz for `lowSeconds`, then 1320 Hz for `highSeconds`.
std::vector<std::int16_t> tones(double lowSeconds, double highSeconds)
{
    std::vector<std::int16_t> samples(static_cast<std::size_t>((lowSeconds + highSeconds) * rate));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double hz = i < lowSeconds * rate ? 440 : 1320;
        samples[i] = static_cast<std::int16_t>(12000 * std::sin(2 * std::numbers::pi * hz * i / rate));
    }
    return samples;
}

// The rendered output as frequencies, one per 20 ms window of the left channel: 0 for silence, else
// the zero-crossing estimate.
std::vector<int> windowTones(const std::string &rendered)
{
    constexpr std::size_t window = rate / 50;
    std::vector<int> tones;
    const std::size_t frames = rendered.size() / bytesPerFrame;
    for (std::size_t start = 0; start + window <= frames; start += window) {
        double energy = 0;
        int crossings = 0;
        std::int16_t previous = 0;
        for (std::size_t f = start; f < start + window; ++f) {
            std::int16_t sample;
            std::memcpy(&sample, rendered.data() + f * bytesPerFrame, sizeof sample);
            energy += double(sample) * sample;
            crossings += f > start && (sample >= 0) != (previous >= 0) ? 1 : 0;
            previous = sample;
        }
        const bool silent = std::sqrt(energy / window) < 300;
        tones.push_back(silent ? 0 : crossings * 25); // crossings per 20 ms, two per period
    }
    return tones;
}

double soundSeconds(const std::string &rendered)
{
    const auto tones = windowTones(rendered);
    return 0.02 * static_cast<double>(tones.size() - std::count(tones.begin(), tones.end(), 0));
}

// The expected tones in the order they sound: windows within 10 % of one, repeats collapsed; the short
// blends where one tone turns into the next match none and drop out.
std::vector<int> heard(const std::string &rendered, const std::vector<int> &expectedTones)
{
    std::vector<int> tones;
    for (const int hz : windowTones(rendered)) {
        for (const int t : expectedTones) {
            if (std::abs(hz - t) <= t / 10 && (tones.empty() || tones.back() != t)) {
                tones.push_back(t);
            }
        }
    }
    return tones;
}

// A format-0 MIDI file: flute, two quarter notes (middle C, then G, 480 ticks each) at 120 beats a minute.
std::string midiImage()
{
    const unsigned char track[] = {
        0x00, 0xC0, 73,  0x00, 0x90, 60,   100, 0x83, 0x60, 0x80, 60,   0,    0x00,
        0x90, 67,   100, 0x83, 0x60, 0x80, 67,  0,    0x00, 0xFF, 0x2F, 0x00,
    };
    const unsigned char header[] = {'M', 'T',  'h',  'd', 0,   0,   0,   6, 0, 0, 0,
                                    1,   0x01, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, sizeof track};
    return std::string(std::begin(header), std::end(header))
        + std::string(std::begin(track), std::end(track));
}

class SoundOutputTest : public ::testing::Test
{
protected:
    // Rendered into a file through SDL's disk driver instead of a sound card.
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    }

    std::string rendered() const { return testing::readFile(output); }
    static std::size_t bytesFor(double seconds) { return std::size_t(seconds * rate) * bytesPerFrame; }
    void waitForOutput(double seconds)
    {
        for (int waited = 0; waited < generous && std::filesystem::file_size(output) < bytesFor(seconds);
             waited += 10) {
            QTest::qWait(10);
        }
    }
    std::string writeWave(const std::string &name, const std::vector<std::int16_t> &samples)
    {
        testing::writeFile(dir.file(name), BuildWaveImage(samples, rate));
        return dir.file(name);
    }

    TempDir dir;
    std::string output = dir.file("rendered.raw");
    SdlAudio audio;
    SdlWavePlayer waves {audio};
    SdlMediaCommands media {audio};
    QSignalSpy closed {&audio, &SdlAudio::deviceClosed};
};

std::size_t threadCount()
{
    const auto tasks = std::filesystem::directory_iterator("/proc/self/task");
    return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

TEST_F(SoundOutputTest, WavePlaysOnceRestartsFromItsStartAndClosesTheDevice)
{
    const std::size_t idleThreads = threadCount();
    const std::string path = writeWave("two tones.wav", tones(0.3, 0.6));
    ASSERT_TRUE(waves.Play(path));
    EXPECT_TRUE(audio.isOpen());
    EXPECT_GT(threadCount(), idleThreads);
    waitForOutput(0.6);
    ASSERT_TRUE(waves.Play(path));
    ASSERT_TRUE(closed.wait(generous));
    EXPECT_EQ(closed.count(), 1); // the device stayed open across the replacement
    EXPECT_FALSE(audio.isOpen() || waves.isPlaying());
    EXPECT_EQ(threadCount(), idleThreads); // no audio thread left behind
    EXPECT_EQ(heard(rendered(), {440, 1320}), (std::vector<int> {440, 1320, 440, 1320}));
}

TEST_F(SoundOutputTest, StopSilencesAndClosesTheDevice)
{
    ASSERT_TRUE(waves.Play(writeWave("long.wav", tones(20, 0))));
    waitForOutput(0.3);
    waves.Stop();
    EXPECT_FALSE(audio.isOpen());
    const std::size_t size = std::filesystem::file_size(output);
    QTest::qWait(300);
    EXPECT_EQ(std::filesystem::file_size(output), size);
    EXPECT_LT(size, bytesFor(20));
    EXPECT_EQ(heard(rendered(), {440}), (std::vector<int> {440}));
    waves.Stop(); // nothing plays: no effect
    EXPECT_FALSE(audio.isOpen());
}

TEST_F(SoundOutputTest, UnplayableFileSoundsTheDefaultAlert)
{
    testing::writeFile(dir.file("text.wav"), "RIFF, but only in words: this is no wave at all\n");
    testing::writeFile(dir.file("ogg.wav"), std::string("OggS") + std::string(60, '\0'));
    ASSERT_EQ(mkfifo(dir.file("pipe.wav").c_str(), 0600), 0); // must not block the player
    for (const char *name : {"missing.wav", "text.wav", "ogg.wav", "pipe.wav", ""}) { // "": the folder
        SCOPED_TRACE(name);
        closed.clear();
        ASSERT_TRUE(waves.Play(dir.file(name)));
        ASSERT_TRUE(closed.wait(generous));
        EXPECT_EQ(heard(rendered(), {660, 880}), (std::vector<int> {880, 660, 880, 660}));
    }
}

TEST_F(SoundOutputTest, MidiPlaysOnceStopsAndKeepsItsAliasOpenUntilClosed)
{
    testing::writeFile(dir.file("tune.mid"), midiImage());
    const std::string open = "open " + dir.file("tune.mid") + " type sequencer alias .MID";
    QSignalSpy ended(&media, &SdlMediaCommands::finished);
    ASSERT_EQ(media.Send(open), 0);
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        closed.clear();
        ASSERT_EQ(media.Send("play .MID"), 0);
        EXPECT_TRUE(audio.isOpen() && media.isPlaying(".mid"));
        if (round < 3) { // an ended piece closes the device and keeps the alias; play starts it again
            ASSERT_TRUE(ended.wait(generous));
            ASSERT_TRUE(closed.count() || closed.wait(generous));
            EXPECT_GT(soundSeconds(rendered()), 0.5); // two half-second notes
        } else {
            waitForOutput(0.2);
            EXPECT_EQ(media.Send("stop .MID"), 0);
        }
        EXPECT_FALSE(audio.isOpen() || media.isPlaying(".MID"));
        EXPECT_TRUE(media.isOpen(".MID"));
    }
    EXPECT_EQ(media.Send(open), MediaCommands::aliasInUse);
    EXPECT_EQ(media.Send("close .MID"), 0);
    EXPECT_EQ(media.Send("stop .MID"), MediaCommands::unknownAlias);
    EXPECT_EQ(media.Send(open), 0);
}

TEST_F(SoundOutputTest, MediaCommandsReportTheirErrors)
{
    testing::writeFile(dir.file("tune.mid"), midiImage());
    testing::writeFile(dir.file("a type sequencer alias b.mid"), midiImage());
    testing::writeFile(dir.file("text.mid"), "no MIDI here\n");
    ASSERT_EQ(mkfifo(dir.file("pipe.mid").c_str(), 0600), 0);
    const std::string open = "open " + dir.path().string() + "/";
    const std::string alias = " type sequencer alias .MID";
    // A path that brings the command to exactly 255 bytes, and one byte more.
    const std::string fits = open + std::string(255 - open.size() - alias.size(), 'x') + alias;
    const struct
    {
        std::string command;
        int result;
    } cases[] = {
        {open + "missing.mid" + alias, MediaCommands::fileNotFound},
        {open + "text.mid" + alias, MediaCommands::cannotPlay},
        {open + "pipe.mid" + alias, MediaCommands::cannotPlay},
        {fits, MediaCommands::fileNotFound},
        {"x" + fits, MediaCommands::commandTooLong},
        {open + "tune.mid", MediaCommands::missingParameter},
        {"play .MID", MediaCommands::unknownAlias},
        {"pause .MID", MediaCommands::unknownCommand},
        {open + "a type sequencer alias b.mid" + alias, 0},
        {open + "tune.mid" + alias, MediaCommands::aliasInUse},
        {"stop .mid", 0},
        {"close .MID", 0},
        {"close .MID", MediaCommands::unknownAlias},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(media.Send(c.command), c.result);
        EXPECT_FALSE(audio.isOpen() && !media.isOpen(".MID"));
    }
    EXPECT_FALSE(audio.isOpen());
}

// SDL_mixer is loaded with the first sound; where it cannot be, the players only report failure.
TEST(SoundLibraryTest, AMissingLibraryLeavesEverySoundSilent)
{
    TempDir dir;
    testing::writeFile(dir.file("tune.mid"), midiImage());
    SdlAudio audio {nullptr, "libno-such-mixer.so.0"};
    SdlWavePlayer waves {audio};
    SdlMediaCommands media {audio};
    EXPECT_FALSE(waves.Play(dir.file("missing.wav"))) << "not even the built-in alert";
    EXPECT_EQ(media.Send("open " + dir.file("tune.mid") + " type sequencer alias .MID"),
              MediaCommands::cannotPlay);
    EXPECT_FALSE(audio.isOpen() || waves.isPlaying() || media.isOpen(".MID"));
}

} // namespace
} // namespace belvane
