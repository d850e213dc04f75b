#pragma once

#include <SDL.h>
#include <SDL_mixer.h>

#include <memory>

namespace belvane {

// Every SDL function the sound services call: the wave player needs these alone.
#define BELVANE_SDL_CORE_FUNCTIONS(X)                                                                        \
    X(SDL_SetHint)                                                                                           \
    X(SDL_InitSubSystem)                                                                                     \
    X(SDL_QuitSubSystem)                                                                                     \
    X(SDL_RWFromFP)                                                                                          \
    X(SDL_RWFromConstMem)                                                                                    \
    X(SDL_RWread)                                                                                            \
    X(SDL_RWseek)                                                                                            \
    X(SDL_RWclose)                                                                                           \
    X(SDL_LoadWAV_RW)                                                                                        \
    X(SDL_FreeWAV)                                                                                           \
    X(SDL_BuildAudioCVT)                                                                                     \
    X(SDL_ConvertAudio)                                                                                      \
    X(SDL_OpenAudioDevice)                                                                                   \
    X(SDL_CloseAudioDevice)                                                                                  \
    X(SDL_PauseAudioDevice)                                                                                  \
    X(SDL_LockAudioDevice)                                                                                   \
    X(SDL_UnlockAudioDevice)

// Every SDL_mixer function the media commands call (music: MIDI through FluidSynth).
#define BELVANE_SDL_MIXER_FUNCTIONS(X)                                                                       \
    X(Mix_GetSoundFonts)                                                                                     \
    X(Mix_SetSoundFonts)                                                                                     \
    X(Mix_OpenAudio)                                                                                         \
    X(Mix_CloseAudio)                                                                                        \
    X(Mix_Quit)                                                                                              \
    X(Mix_HookMusicFinished)                                                                                 \
    X(Mix_LoadMUSType_RW)                                                                                    \
    X(Mix_FreeMusic)                                                                                         \
    X(Mix_PlayMusic)                                                                                         \
    X(Mix_HaltMusic)                                                                                         \
    X(Mix_PlayingMusic)

// SDL, and SDL_mixer when music is to play, brought into the process when the first sound is to play
// instead of with the program: with SDL come the sound servers' client libraries, and with SDL_mixer
// FluidSynth and every decoder it knows, megabytes of memory that a receiver waiting for alarms has no
// use for. SDL alone loads in a third of SDL_mixer's time, which a wave's start would otherwise wait
// for. Once loaded they stay for the rest of the run (SDL keeps threads and handlers that must not lose
// their code).
struct SdlLibrary
{
#define BELVANE_SDL_POINTER(name) decltype(&::name) name = nullptr;
    BELVANE_SDL_CORE_FUNCTIONS(BELVANE_SDL_POINTER)
    BELVANE_SDL_MIXER_FUNCTIONS(BELVANE_SDL_POINTER)
#undef BELVANE_SDL_POINTER

    // Loads SDL from `fileName` (found as the dynamic linker finds libraries); null when the library or
    // one of the functions is missing.
    static std::unique_ptr<SdlLibrary> load(const char *fileName);
    // Loads SDL_mixer from `fileName` besides; false when it or one of its functions is missing.
    [[nodiscard]] bool loadMixer(const char *fileName);
    bool hasMixer() const
    {
        return Mix_OpenAudio != nullptr;
    }
};

} // namespace belvane
