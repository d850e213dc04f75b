#pragma once

#include <fluidsynth.h>

#include <memory>

namespace belvane {

// Every FluidSynth function the MIDI sequencer calls.
#define BELVANE_FLUIDSYNTH_FUNCTIONS(X)                                                                      \
    X(fluid_set_log_function)                                                                                \
    X(new_fluid_settings)                                                                                    \
    X(delete_fluid_settings)                                                                                 \
    X(fluid_settings_setint)                                                                                 \
    X(fluid_settings_setnum)                                                                                 \
    X(new_fluid_synth)                                                                                       \
    X(delete_fluid_synth)                                                                                    \
    X(fluid_synth_sfload)                                                                                    \
    X(fluid_synth_sfcount)                                                                                   \
    X(fluid_synth_get_sfont)                                                                                 \
    X(fluid_sfont_get_id)                                                                                    \
    X(fluid_sfont_get_preset)                                                                                \
    X(fluid_synth_pin_preset)                                                                                \
    X(fluid_synth_unpin_preset)                                                                              \
    X(fluid_synth_system_reset)                                                                              \
    X(fluid_synth_set_bank_offset)                                                                           \
    X(fluid_synth_program_change)                                                                            \
    X(fluid_synth_unset_program)                                                                             \
    X(fluid_synth_all_sounds_off)                                                                            \
    X(fluid_synth_write_float)                                                                               \
    X(new_fluid_player)                                                                                      \
    X(delete_fluid_player)                                                                                   \
    X(fluid_player_add_mem)                                                                                  \
    X(fluid_player_play)                                                                                     \
    X(fluid_player_stop)                                                                                     \
    X(fluid_player_get_status)

// FluidSynth, loaded when the first MIDI piece is to play: the library and the sound servers, sample
// decoders and MIDI drivers it is linked with are megabytes that a receiver without MIDI alarms never
// needs. Once loaded it stays for the rest of the run.
struct FluidSynthLibrary
{
#define BELVANE_FLUIDSYNTH_POINTER(name) decltype(&::name) name = nullptr;
    BELVANE_FLUIDSYNTH_FUNCTIONS(BELVANE_FLUIDSYNTH_POINTER)
#undef BELVANE_FLUIDSYNTH_POINTER

    static constexpr const char *fileName = "libfluidsynth.so.3";

    // Loads FluidSynth from `file`; null, with the reason logged, when the library or one of the
    // functions is missing.
    static std::unique_ptr<FluidSynthLibrary> load(const char *file);
};

} // namespace belvane
