#include "SdlAudio.h"
#include "SdlWavePlayer.h"
#include "TempDir.h"
#include "WaveImage.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <vector>

namespace belvane {
namespace {

using testing::TempDir;
constexpr int rate = 44100;
constexpr int generous = 30000; // ms: the disk driver renders in real time
constexpr std::size_t bytesPerFrame = 4; // what SdlAudio opens: 16-bit stereo

std::vector<std::int16_t> tone(double hz, double seconds)
{
    std::vector<std::int16_t> samples(static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(12000 * std::sin(2 * std::numbers::pi * hz * i / rate));
    }
    return samples;
}

// The rendered output as frequencies, one per 20 ms window of the left channel: 0 for silence, else
// the zero-crossing estimate; runs of the same tone (within 10 %) collapse into one entry.
std::vector<int> toneRuns(const std::string &rendered)
{
    constexpr std::size_t window = rate / 50;
    std::vector<int> runs;
    const std::size_t frames = rendered.size() / bytesPerFrame;
    for (std::size_t start = 0; start + window <= frames; start += window) {
        double energy = 0;
        int crossings = 0;
        std::int16_t previous = 0;
        for (std::size_t f = start; f < start + window; ++f) {
            std::int16_t s;
            std::memcpy(&s, rendered.data() + f * bytesPerFrame, sizeof s);
            energy += double(s) * s;
            crossings += (s >= 0) != (previous >= 0) && f > start ? 1 : 0;
            previous = s;
        }
        const bool silent = std::sqrt(energy / window) < 300;
        const int hz = silent ? 0 : crossings * 25; // crossings per 20 ms, two per period
        if (runs.empty() || std::abs(runs.back() - hz) > runs.back() / 10 + 1) {
            runs.push_back(hz);
        }
    }
    return runs;
}

// The runs of sound only, rounded to 10 Hz, with the short blends where one tone turns into the next
// left out.
std::vector<int> heard(const std::string &rendered, const std::vector<int> &expectedTones)
{
    std::vector<int> tones;
    for (const int hz : toneRuns(rendered)) {
        for (const int t : expectedTones) {
            if (std::abs(hz - t) <= t / 10 && (tones.empty() || tones.back() != t)) {
                tones.push_back(t);
            }
        }
    }
    return tones;
}

class SoundOutputTest : public ::testing::Test
{
protected:
    void SetUp() override { setenv("SDL_DISKAUDIOFILE", output.c_str(), 1); }

    std::string rendered() const { return testing::readFile(output); }
    std::size_t renderedSeconds(double seconds) const { return std::size_t(seconds * rate) * bytesPerFrame; }
    void waitForOutput(double seconds)
    {
        for (int waited = 0;
             waited < generous && std::filesystem::file_size(output) < renderedSeconds(seconds);
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
    QSignalSpy closed {&audio, &SdlAudio::deviceClosed};
};

TEST_F(SoundOutputTest, WavePlaysOnceAndClosesTheDevice)
{
    EXPECT_FALSE(audio.isOpen());
    auto samples = tone(440, 0.3);
    const auto high = tone(1320, 0.3);
    samples.insert(samples.end(), high.begin(), high.end());
    ASSERT_TRUE(waves.Play(writeWave("two tones.wav", samples)));
    EXPECT_TRUE(audio.isOpen());
    ASSERT_TRUE(closed.wait(generous));
    EXPECT_FALSE(audio.isOpen());
    EXPECT_FALSE(waves.isPlaying());
    EXPECT_EQ(heard(rendered(), {440, 1320}), (std::vector<int> {440, 1320}));
}

TEST_F(SoundOutputTest, SecondWaveRestartsFromItsStart)
{
    auto samples = tone(440, 0.3);
    const auto high = tone(1320, 0.6);
    samples.insert(samples.end(), high.begin(), high.end());
    const std::string path = writeWave("restart.wav", samples);
    ASSERT_TRUE(waves.Play(path));
    waitForOutput(0.6);
    ASSERT_TRUE(waves.Play(path));
    ASSERT_TRUE(closed.wait(generous));
    EXPECT_EQ(closed.count(), 1); // the device stayed open across the replacement
    EXPECT_EQ(heard(rendered(), {440, 1320}), (std::vector<int> {440, 1320, 440, 1320}));
}

TEST_F(SoundOutputTest, StopSilencesAndClosesTheDevice)
{
    ASSERT_TRUE(waves.Play(writeWave("long.wav", tone(440, 20))));
    waitForOutput(0.3);
    waves.Stop();
    EXPECT_FALSE(audio.isOpen());
    const std::size_t size = std::filesystem::file_size(output);
    QTest::qWait(300);
    EXPECT_EQ(std::filesystem::file_size(output), size);
    EXPECT_LT(size, renderedSeconds(20));
    EXPECT_EQ(heard(rendered(), {440}), (std::vector<int> {440}));
    waves.Stop(); // nothing plays: no effect
    EXPECT_FALSE(audio.isOpen());
}

TEST_F(SoundOutputTest, UnplayableFileSoundsTheDefaultAlert)
{
    testing::writeFile(dir.file("text.wav"), "RIFF, but only in words: this is no wave at all\n");
    const auto ogg = std::string("OggS") + std::string(60, '\0');
    testing::writeFile(dir.file("ogg.wav"), ogg);
    for (const char *name : {"missing.wav", "text.wav", "ogg.wav"}) {
        SCOPED_TRACE(name);
        closed.clear();
        ASSERT_TRUE(waves.Play(dir.file(name)));
        ASSERT_TRUE(closed.wait(generous));
        EXPECT_EQ(heard(rendered(), {660, 880}), (std::vector<int> {880, 660, 880, 660}));
    }
}

} // namespace
} // namespace belvane
