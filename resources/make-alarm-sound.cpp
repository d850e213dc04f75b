// Writes the program's two default alarm tones as 16-bit mono WAV files:
//   make-alarm-sound main <file>    an insistent two-tone alarm (Malarm.wav)
//   make-alarm-sound soft <file>    a short falling chime (Salarm.wav)
#include "WaveImage.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int sampleRate = 22050;

struct Tone
{
    double frequency; // 0 for silence
    double seconds;
};

void appendTone(std::vector<std::int16_t> &samples, const Tone &tone, double loudness)
{
    const int count = static_cast<int>(tone.seconds * sampleRate);
    const int fade = sampleRate / 200; // 5 ms ramps keep the tone edges from clicking
    for (int i = 0; i < count; ++i) {
        double envelope = 1.0;
        if (i < fade) {
            envelope = static_cast<double>(i) / fade;
        } else if (count - i < fade) {
            envelope = static_cast<double>(count - i) / fade;
        }
        const double t = static_cast<double>(i) / sampleRate;
        const double wave = tone.frequency > 0 ? std::sin(2 * std::numbers::pi * tone.frequency * t)
                + 0.3 * std::sin(4 * std::numbers::pi * tone.frequency * t)
                                               : 0.0;
        samples.push_back(static_cast<std::int16_t>(wave / 1.3 * envelope * loudness * 32767));
    }
}

bool writeWave(const char *path, const std::vector<std::int16_t> &samples)
{
    const std::string image = belvane::buildWaveImage(samples, sampleRate);
    std::FILE *file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3 || (std::strcmp(argv[1], "main") != 0 && std::strcmp(argv[1], "soft") != 0)) {
        std::fprintf(stderr, "usage: %s main|soft <file.wav>\n", argv[0]);
        return 2;
    }
    std::vector<std::int16_t> samples;
    if (std::strcmp(argv[1], "main") == 0) {
        for (int i = 0; i < 4; ++i) {
            appendTone(samples, {988, 0.18}, 0.8);
            appendTone(samples, {784, 0.18}, 0.8);
        }
        appendTone(samples, {0, 0.1}, 0);
    } else {
        appendTone(samples, {1319, 0.22}, 0.6);
        appendTone(samples, {1047, 0.22}, 0.6);
        appendTone(samples, {784, 0.45}, 0.6);
    }
    if (!writeWave(argv[2], samples)) {
        std::perror(argv[2]);
        return 1;
    }
    return 0;
}
