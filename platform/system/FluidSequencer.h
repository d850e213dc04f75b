#pragma once

#include "SdlAudio.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_player_t;

namespace belvane {

struct FluidSynthLibrary;

// What the synthesizer needs from the system: FluidSynth itself and the soundfonts to try after the
// ones the user named in SDL_SOUNDFONTS (a list separated by ':' or ';').
struct SynthFiles
{
    std::string library = "libfluidsynth.so.3";
    // Debian's default General MIDI soundfont (TimGM6mb or fluid-soundfont-gm), then the compressed
    // one only sf3-soundfont-gm provides.
    std::vector<std::string> soundFonts {"/usr/share/sounds/sf2/default-GM.sf2",
                                         "/usr/share/sounds/sf3/default-GM.sf3"};
};

// MIDI pieces played by FluidSynth's own player into the shared output, one at a time. The synthesizer
// is made with the first piece and kept, its soundfont loaded once with dynamic sample loading: only
// the samples of the instruments a piece selects are read, before the piece starts and off the output's
// thread. They are kept while sounds follow one another (the next piece reads only what it adds) and
// given back once the output has closed after a quiet while.
class FluidSequencer final : public QObject, private SdlAudio::Source
{
    Q_OBJECT

public:
    enum class Readiness {
        Ready,
        NoLibrary, // FluidSynth could not be loaded
        NoSoundFont,
    };

    // The Standard MIDI File in `bytes`: all of them, or the one an RMID file wraps; empty when there
    // is none.
    static std::string_view standardMidiFile(std::string_view bytes);

    explicit FluidSequencer(SdlAudio &sharedAudio, SynthFiles synthFiles = {}, QObject *parent = nullptr);
    ~FluidSequencer() override;
    FluidSequencer(const FluidSequencer &) = delete;
    FluidSequencer &operator=(const FluidSequencer &) = delete;

    // Loads FluidSynth and a soundfont and makes the synthesizer, unless that was done before.
    [[nodiscard]] Readiness prepare();
    // Plays `midi` (the bytes of a Standard MIDI File) from its start, in place of a piece that plays;
    // false when the output could not be opened. Only after prepare.
    [[nodiscard]] bool play(std::string_view midi);
    // Silences the piece at once; nothing when none plays.
    void stop();

    bool isPlaying() const { return player != nullptr; }

signals:
    // The piece came to its end by itself.
    void finished();

private:
    struct Pin
    {
        int soundFont, bank, program;
        bool operator==(const Pin &) const = default;
    };

    void render(std::int16_t *samples, int frames) override;
    void onFinished();
    bool loadSoundFonts();
    void resetChannels();
    void loadInstruments(std::string_view midi);
    void releaseInstruments();

    SdlAudio &audio;
    SynthFiles files;
    std::unique_ptr<FluidSynthLibrary> fluid;
    _fluid_hashtable_t *settings = nullptr;
    _fluid_synth_t *synth = nullptr;
    // The piece that plays, shared with the output's thread between its buffers.
    _fluid_player_t *player = nullptr;
    bool reported = false; // its end was handed over
    std::vector<float> rendered; // the synthesizer's buffer: left, right
    std::vector<Pin> pinned; // the presets whose samples the last piece keeps loaded
};

} // namespace belvane
