#pragma once

#include <SDL.h>
#include <SDL_mixer.h>

#include <memory>

namespace belvane {

// Every SDL and SDL_mixer function the sound services call.
#define BELVANE_SDL_FUNCTIONS(X)                                                                             \
    X(SDL_SetHint)                                                                                           \
    X(SDL_InitSubSystem)                                                                                     \
    X(SDL_QuitSubSystem)                                                                                     \
    X(SDL_RWFromFP)                                                                                          \
    X(SDL_RWFromConstMem)                                                                                    \
    X(SDL_RWread)                                                                                            \
    X(SDL_RWseek)                                                                                            \
    X(SDL_RWclose)                                                                                           \
    X(Mix_GetSoundFonts)                                                                                     \
    X(Mix_SetSoundFonts)                                                                                     \
    X(Mix_OpenAudio)                                                                                         \
    X(Mix_CloseAudio)                                                                                        \
    X(Mix_Quit)                                                                                              \
    X(Mix_ChannelFinished)                                                                                   \
    X(Mix_HookMusicFinished)                                                                                 \
    X(Mix_LoadWAV_RW)                                                                                        \
    X(Mix_FreeChunk)                                                                                         \
    X(Mix_PlayChannel)                                                                                       \
    X(Mix_HaltChannel)                                                                                       \
    X(Mix_Playing)                                                                                           \
    X(Mix_LoadMUSType_RW)                                                                                    \
    X(Mix_FreeMusic)                                                                                         \
    X(Mix_PlayMusic)                                                                                         \
    X(Mix_HaltMusic)                                                                                         \
    X(Mix_PlayingMusic)

// SDL_mixer and SDL, brought into the process when the first sound is to play instead of with the
// program: with them come the sound servers' client libraries and every decoder SDL_mixer knows,
// megabytes of memory that a receiver waiting for alarms has no use for. Once loaded they stay for the
// rest of the run (SDL keeps threads and handlers that must not lose their code).
struct SdlLibrary
{
#define BELVANE_SDL_POINTER(name) decltype(&::name) name = nullptr;
    BELVANE_SDL_FUNCTIONS(BELVANE_SDL_POINTER)
#undef BELVANE_SDL_POINTER

    // Loads SDL_mixer from `fileName` (found as the dynamic linker finds libraries) together with the
    // SDL it depends on; null when the library or one of the functions is missing.
    static std::unique_ptr<SdlLibrary> load(const char *fileName);
};

} // namespace belvane
