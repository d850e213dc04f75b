#pragma once

#include "SdlAudio.h"
#include "WavePlayer.h"

#include <QObject>

struct Mix_Chunk;

namespace belvane {

// The wave player over SDL_mixer: one wave at a time on one mixer channel. The audio device is held
// from the start of a wave until it ends or is stopped. A file that is missing or not a RIFF WAVE file
// sounds a short built-in two-tone alert instead.
class SdlWavePlayer final : public QObject, public WavePlayer
{
    Q_OBJECT

public:
    explicit SdlWavePlayer(SdlAudio &sharedAudio, QObject *parent = nullptr);
    ~SdlWavePlayer() override;

    bool play(const std::string &path) override;
    void stop() override;

    // A wave (or the alert) is still sounding.
    bool isPlaying() const { return chunk != nullptr; }

private:
    void onChannelFinished(int channel);
    void halt();

    SdlAudio &audio;
    Mix_Chunk *chunk = nullptr;
    bool holdsDevice = false;
};

} // namespace belvane
