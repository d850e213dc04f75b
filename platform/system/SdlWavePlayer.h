#pragma once

#include "SdlAudio.h"
#include "WavePlayer.h"

#include <QObject>

#include <cstdint>
#include <vector>

namespace belvane {

// The wave player over SDL alone: one wave at a time on the shared output, converted to the output's
// format as it is loaded. A file that is missing or not a RIFF WAVE file sounds a short built-in
// two-tone alert instead.
class SdlWavePlayer final : public QObject, public WavePlayer, private SdlAudio::Source
{
    Q_OBJECT

public:
    explicit SdlWavePlayer(SdlAudio &sharedAudio, QObject *parent = nullptr);
    ~SdlWavePlayer() override;

    bool play(const std::string &path) override;
    void stop() override;

    // A wave (or the alert) is still sounding.
    bool isPlaying() const { return sounding; }

private:
    // On the output's thread: the next part of the wave, then silence.
    void render(std::int16_t *stream, int frames) override;
    void onFinished();

    SdlAudio &audio;
    bool sounding = false; // on the output
    // Shared with the output's thread, between its buffers.
    std::vector<std::int16_t> samples; // stereo at SdlAudio::frequency
    std::size_t played = 0; // samples
    bool reported = false; // the end was handed over
};

} // namespace belvane
