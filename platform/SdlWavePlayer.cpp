#include "SdlWavePlayer.h"

#include "Cp932.h"
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

// The wave in `file` (closed here) as 16-bit stereo samples at the output's rate; empty when it is no
// wave SDL can read.
std::vector<std::uint8_t> decode(const SdlLibrary &sdl, SDL_RWops *file)
{
    SDL_AudioSpec layout {};
    Uint8 *data = nullptr;
    Uint32 length = 0;
    if (sdl.SDL_LoadWAV_RW(file, 1, &layout, &data, &length) == nullptr) {
        return {};
    }
    SDL_AudioCVT convert {};
    std::vector<std::uint8_t> samples;
    if (sdl.SDL_BuildAudioCVT(&convert, layout.format, layout.channels, layout.freq, AUDIO_S16SYS,
                              SdlAudio::channels, SdlAudio::frequency)
        >= 0) {
        samples.resize(std::size_t(length) * std::size_t(std::max(convert.len_mult, 1)));
        std::memcpy(samples.data(), data, length);
        convert.buf = samples.data();
        convert.len = static_cast<int>(length);
        if (convert.needed != 0 && sdl.SDL_ConvertAudio(&convert) != 0) {
            samples.clear();
        } else {
            samples.resize(convert.needed != 0 ? std::size_t(convert.len_cvt) : length);
        }
    }
    sdl.SDL_FreeWAV(data);
    return samples;
}

// The wave in the regular file `nativePath`, or nothing.
std::vector<std::uint8_t> loadWave(const SdlAudio &audio, const std::string &nativePath)
{
    SDL_RWops *file = audio.openRegularFile(nativePath);
    return file == nullptr ? std::vector<std::uint8_t>() : decode(audio.sdl(), file);
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
    // The wave is ready before the output starts, so its first buffer is the wave's.
    std::vector<std::uint8_t> wave = loadWave(audio, cp932::toNativePath(path));
    if (wave.empty()) {
        const std::string &image = alertImage();
        wave =
            decode(audio.sdl(), audio.sdl().SDL_RWFromConstMem(image.data(), static_cast<int>(image.size())));
    }
    if (wave.empty()) {
        stop();
        return false;
    }
    // A new wave replaces the one that plays; the output stays open in between.
    if (output == 0 && (output = audio.openOutput(&SdlWavePlayer::fill, this)) == 0) {
        return false;
    }
    const SdlLibrary &sdl = audio.sdl();
    sdl.SDL_LockAudioDevice(output);
    samples = std::move(wave);
    played = 0;
    reported = false;
    sdl.SDL_UnlockAudioDevice(output);
    sdl.SDL_PauseAudioDevice(output, 0);
    return true;
}

void SdlWavePlayer::stop()
{
    if (output != 0) {
        audio.closeOutput(output);
        output = 0;
    }
    samples.clear();
    played = 0;
}

void SdlWavePlayer::fill(void *userdata, std::uint8_t *stream, int bytes)
{
    auto *player = static_cast<SdlWavePlayer *>(userdata);
    const std::size_t wanted = static_cast<std::size_t>(bytes);
    // Handed over once the last samples went out in an earlier buffer: they have left SDL by now.
    if (player->played == player->samples.size() && !player->reported) {
        player->reported = true;
        QMetaObject::invokeMethod(player, &SdlWavePlayer::onFinished, Qt::QueuedConnection);
    }
    const std::size_t part = std::min(wanted, player->samples.size() - player->played);
    std::memcpy(stream, player->samples.data() + player->played, part);
    std::memset(stream + part, 0, wanted - part);
    player->played += part;
}

void SdlWavePlayer::onFinished()
{
    // The news is queued: a wave that replaced the one that ended may be playing by now.
    if (output == 0) {
        return;
    }
    const SdlLibrary &sdl = audio.sdl();
    sdl.SDL_LockAudioDevice(output);
    const bool ended = reported;
    sdl.SDL_UnlockAudioDevice(output);
    if (ended) {
        stop();
    }
}

} // namespace belvane
