#include "SdlWavePlayer.h"

#include "Cp932.h"
#include "PlatformLog.h"
#include "SdlLibrary.h"
#include "WaveImage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace belvane {

namespace {

// The built-in alert: two short tones, high then low, twice.
constexpr int alertRate = 22050;
constexpr std::array<double, 4> alertTones {880.0, 660.0, 880.0, 660.0};
constexpr double alertToneSeconds = 0.15;
constexpr double alertFadeSeconds = 0.005;
constexpr double alertAmplitude = 0.4 * 32767.0;

const std::string &alertImage()
{
    static const std::string image = [] {
        const int toneFrames = static_cast<int>(alertRate * alertToneSeconds);
        const int fadeFrames = static_cast<int>(alertRate * alertFadeSeconds);
        std::vector<std::int16_t> samples;
        samples.reserve(alertTones.size() * static_cast<std::size_t>(toneFrames));
        for (const double tone : alertTones) {
            for (int i = 0; i < toneFrames; ++i) {
                // Short fades at both ends keep the tone changes from clicking.
                const double fade =
                    std::min({1.0, double(i) / fadeFrames, double(toneFrames - i) / fadeFrames});
                const double phase = 2.0 * std::numbers::pi * tone * i / alertRate;
                samples.push_back(static_cast<std::int16_t>(alertAmplitude * fade * std::sin(phase)));
            }
        }
        return buildWaveImage(samples, alertRate);
    }();
    return image;
}

// The wave in `file` (closed here) as 16-bit stereo samples at the output's rate; empty, with SDL's
// reason logged under `name`, when it is no wave SDL can read.
std::vector<std::int16_t> decode(const SdlLibrary &sdl, SDL_RWops *file, const char *name)
{
    SDL_AudioSpec layout {};
    Uint8 *data = nullptr;
    Uint32 length = 0;
    if (sdl.SDL_LoadWAV_RW(file, 1, &layout, &data, &length) == nullptr) {
        qCWarning(platformLog, "cannot read the wave %s: %s", name, sdl.SDL_GetError());
        return {};
    }
    SDL_AudioCVT convert {};
    std::vector<std::uint8_t> bytes;
    bool converted = false;
    if (sdl.SDL_BuildAudioCVT(&convert, layout.format, layout.channels, layout.freq, AUDIO_S16SYS,
                              SdlAudio::channels, SdlAudio::frequency)
        >= 0) {
        bytes.resize(std::size_t(length) * std::size_t(std::max(convert.len_mult, 1)));
        std::memcpy(bytes.data(), data, length);
        convert.buf = bytes.data();
        convert.len = static_cast<int>(length);
        converted = convert.needed == 0 || sdl.SDL_ConvertAudio(&convert) == 0;
        bytes.resize(!converted ? 0 : convert.needed != 0 ? std::size_t(convert.len_cvt) : length);
    }
    if (!converted) {
        qCWarning(platformLog, "cannot convert the wave %s: %s", name, sdl.SDL_GetError());
    }
    sdl.SDL_FreeWAV(data);
    // Whole frames only.
    std::vector<std::int16_t> samples(bytes.size() / (2 * SdlAudio::channels) * SdlAudio::channels);
    if (!samples.empty()) {
        std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(std::int16_t));
    }
    return samples;
}

// The wave in the regular file `nativePath`, or nothing.
std::vector<std::int16_t> loadWave(const SdlAudio &audio, const std::string &nativePath)
{
    SDL_RWops *file = audio.openRegularFile(nativePath);
    return file == nullptr ? std::vector<std::int16_t>() : decode(audio.sdl(), file, nativePath.c_str());
}

} // namespace

SdlWavePlayer::SdlWavePlayer(SdlAudio &sharedAudio, QObject *parent)
    : QObject(parent)
    , audio(sharedAudio)
{ }

SdlWavePlayer::~SdlWavePlayer()
{
    stop();
}

bool SdlWavePlayer::play(const std::string &path)
{
    if (!audio.loadSdl()) {
        stop();
        return false;
    }
    // The wave is ready before it is handed to the output, so the output's next buffer is the wave's.
    std::vector<std::int16_t> wave = loadWave(audio, cp932::toNativePath(path));
    if (wave.empty()) {
        const std::string &image = alertImage();
        wave =
            decode(audio.sdl(), audio.sdl().SDL_RWFromConstMem(image.data(), static_cast<int>(image.size())),
                   "(the built-in alert)");
    }
    // A new wave replaces the one that plays.
    audio.betweenBuffers([&] {
        samples.swap(wave);
        played = 0;
        reported = false;
    });
    sounding = !samples.empty() && audio.start(*this);
    if (!sounding) {
        stop();
    }
    return sounding;
}

void SdlWavePlayer::stop()
{
    audio.remove(*this);
    sounding = false;
    samples.clear();
    played = 0;
}

void SdlWavePlayer::render(std::int16_t *stream, int frames)
{
    const std::size_t wanted = std::size_t(frames) * SdlAudio::channels;
    // Handed over once the last samples went out in an earlier buffer.
    if (played == samples.size() && !reported) {
        reported = true;
        QMetaObject::invokeMethod(this, &SdlWavePlayer::onFinished, Qt::QueuedConnection);
    }
    const std::size_t part = std::min(wanted, samples.size() - played);
    std::copy_n(samples.data() + played, part, stream);
    std::fill(stream + part, stream + wanted, std::int16_t(0));
    played += part;
}

void SdlWavePlayer::onFinished()
{
    // The news is queued: a wave that replaced the one that ended may be playing by now.
    bool ended = false;
    audio.betweenBuffers([&] { ended = reported; });
    if (sounding && ended) {
        stop();
    }
}

} // namespace belvane
