#pragma once

#include "SdlAudio.h"
#include "WavePlayer.h"

#include <QObject>

#include <cstdint>
#include <vector>

namespace belvane {

// The wave player over SDL alone (SDL_mixer and its decoders are for music): one wave at a time on an
// output of its own, converted to the output's format as it is loaded. The output is held from the
// start of a wave until it ends or is stopped. A file that is missing or not a RIFF WAVE file sounds a
// short built-in two-tone alert instead.
class SdlWavePlayer final : public QObject, public WavePlayer
{
    Q_OBJECT

public:
    explicit SdlWavePlayer(SdlAudio &sharedAudio, QObject *parent = nullptr);
    ~SdlWavePlayer() override;

    bool play(const std::string &path) override;
    void stop() override;

    // A wave (or the alert) is still sounding.
    bool isPlaying() const { return output != 0; }

private:
    // On SDL's audio thread: the next part of the wave, then silence.
    static void fill(void *userdata, std::uint8_t *stream, int bytes);
    void onFinished();

    SdlAudio &audio;
    std::uint32_t output = 0;
    // Shared with the audio thread, under the output's lock while it is open.
    std::vector<std::uint8_t> samples; // 16-bit stereo at SdlAudio::frequency
    std::size_t played = 0; // bytes
    bool reported = false; // the end was handed over
};

} // namespace belvane
