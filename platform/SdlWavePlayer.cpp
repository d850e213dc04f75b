#include "SdlWavePlayer.h"

#include "Cp932.h"
#include "SdlLibrary.h"
#include "WaveImage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace belvane {

namespace {

constexpr int waveChannel = 0;

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

Mix_Chunk *loadAlert(const SdlLibrary &sdl)
{
    const std::string &image = alertImage();
    return sdl.Mix_LoadWAV_RW(sdl.SDL_RWFromConstMem(image.data(), static_cast<int>(image.size())), 1);
}

// SDL_mixer would also decode Ogg, MP3 or FLAC under any name; a wave player plays RIFF WAVE only.
Mix_Chunk *loadWave(const SdlAudio &audio, const std::string &nativePath)
{
    SDL_RWops *file = audio.openRegularFile(nativePath);
    if (file == nullptr) {
        return nullptr;
    }
    const SdlLibrary &sdl = audio.sdl();
    std::array<char, 12> header {};
    const bool isWave = sdl.SDL_RWread(file, header.data(), 1, header.size()) == header.size()
        && isWaveHeader(std::string_view(header.data(), header.size()));
    if (!isWave || sdl.SDL_RWseek(file, 0, RW_SEEK_SET) != 0) {
        sdl.SDL_RWclose(file);
        return nullptr;
    }
    return sdl.Mix_LoadWAV_RW(file, 1);
}

} // namespace

SdlWavePlayer::SdlWavePlayer(SdlAudio &sharedAudio, QObject *parent)
    : QObject(parent)
    , audio(sharedAudio)
{
    connect(&audio, &SdlAudio::channelFinished, this, &SdlWavePlayer::onChannelFinished);
}

SdlWavePlayer::~SdlWavePlayer()
{
    stop();
}

bool SdlWavePlayer::play(const std::string &path)
{
    // A new wave replaces the one that plays; the device stays open in between.
    halt();
    if (!holdsDevice) {
        if (!audio.acquire()) {
            return false;
        }
        holdsDevice = true;
    }
    chunk = loadWave(audio, cp932::toNativePath(path));
    if (chunk == nullptr) {
        chunk = loadAlert(audio.sdl());
    }
    if (chunk == nullptr || audio.sdl().Mix_PlayChannel(waveChannel, chunk, 0) < 0) {
        stop();
        return false;
    }
    return true;
}

void SdlWavePlayer::stop()
{
    halt();
    if (holdsDevice) {
        holdsDevice = false;
        audio.release();
    }
}

void SdlWavePlayer::halt()
{
    if (chunk == nullptr) {
        return;
    }
    audio.sdl().Mix_HaltChannel(waveChannel);
    audio.sdl().Mix_FreeChunk(chunk);
    chunk = nullptr;
}

void SdlWavePlayer::onChannelFinished(int channel)
{
    // The news is queued: a wave halted for its successor reports after the successor has started, so
    // only a channel that is really silent now means our wave has ended.
    if (channel != waveChannel || chunk == nullptr || audio.sdl().Mix_Playing(waveChannel) != 0) {
        return;
    }
    stop();
}

} // namespace belvane
