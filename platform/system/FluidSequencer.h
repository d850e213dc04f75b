#pragma once

#include "SdlAudio.h"

#include <QObject>
#include <QTimer>

#include <chrono>
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
// ones the user named in SDL_SOUNDFONTS (a list separated by ':' or ';'); and how long it is kept
// once the output has closed.
struct SynthSetup
{
    std::string library = "libfluidsynth.so.3";
    // Debian's default General MIDI soundfont (TimGM6mb or fluid-soundfont-gm), then the compressed
    // one only sf3-soundfont-gm provides.
    std::vector<std::string> soundFonts {"/usr/share/sounds/sf2/default-GM.sf2",
                                         "/usr/share/sounds/sf3/default-GM.sf3"};
    // Alarms of one busy spell all start at once; after it the soundfont's megabytes are given back.
    std::chrono::milliseconds keep {std::chrono::seconds(30)};
};

// MIDI pieces played by FluidSynth's own player into the shared output, one at a time. The synthesizer
// is made with the first piece after a quiet spell, its soundfont loaded with dynamic sample loading:
// only the samples of the instruments a piece selects are read, before the piece starts and off the
// output's thread. Samples are kept while sounds follow one another (the next piece reads only what it
// adds) and given back when the output closes after a quiet while; synthesizer and soundfont are kept
// a while longer (SynthSetup::keep), then given back too.
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

    explicit FluidSequencer(SdlAudio &sharedAudio, SynthSetup synthSetup = {}, QObject *parent = nullptr);
    ~FluidSequencer() override;
    FluidSequencer(const FluidSequencer &) = delete;
    FluidSequencer &operator=(const FluidSequencer &) = delete;

    // Loads FluidSynth and a soundfont and makes the synthesizer, unless that was done before.
    [[nodiscard]] Readiness prepare();
    // Plays `midi` (the bytes of a Standard MIDI File) from its start, in place of a piece that plays;
    // false when the output could not be opened or the synthesizer not be made again.
    [[nodiscard]] bool play(std::string_view midi);
    // Silences the piece at once; nothing when none plays.
    void stop();

    bool isPlaying() const { return player != nullptr; }
    // The synthesizer is made and not yet given back.
    bool holdsSynth() const { return synth != nullptr; }

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
    void releaseSynth();

    SdlAudio &audio;
    SynthSetup setup;
    std::unique_ptr<FluidSynthLibrary> fluid;
    _fluid_hashtable_t *settings = nullptr;
    _fluid_synth_t *synth = nullptr;
    // The piece that plays, shared with the output's thread between its buffers.
    _fluid_player_t *player = nullptr;
    bool reported = false; // its end was handed over
    std::vector<float> rendered; // the synthesizer's buffer: left, right
    std::vector<Pin> pinned; // the presets whose samples the last piece keeps loaded
    QTimer idle; // from the output's close to the synthesizer's release
};

} // namespace belvane
