#pragma once

#include <SDL.h>

#include <memory>

namespace belvane {

// Every SDL function the sound output and the wave player call.
#define BELVANE_SDL_FUNCTIONS(X)                                                                             \
    X(SDL_SetHint)                                                                                           \
    X(SDL_GetError)                                                                                          \
    X(SDL_InitSubSystem)                                                                                     \
    X(SDL_GetCurrentAudioDriver)                                                                             \
    X(SDL_QuitSubSystem)                                                                                     \
    X(SDL_RWFromFP)                                                                                          \
    X(SDL_RWFromConstMem)                                                                                    \
    X(SDL_LoadWAV_RW)                                                                                        \
    X(SDL_FreeWAV)                                                                                           \
    X(SDL_BuildAudioCVT)                                                                                     \
    X(SDL_ConvertAudio)                                                                                      \
    X(SDL_OpenAudioDevice)                                                                                   \
    X(SDL_CloseAudioDevice)                                                                                  \
    X(SDL_PauseAudioDevice)                                                                                  \
    X(SDL_LockAudioDevice)                                                                                   \
    X(SDL_UnlockAudioDevice)

// SDL, brought into the process when the first sound is to play instead of with the program: with SDL
// come the sound servers' client libraries, megabytes of memory that a receiver waiting for alarms has
// no use for. Once loaded it stays for the rest of the run (SDL keeps threads and handlers that must
// not lose their code).
struct SdlLibrary
{
#define BELVANE_SDL_POINTER(name) decltype(&::name) name = nullptr;
    BELVANE_SDL_FUNCTIONS(BELVANE_SDL_POINTER)
#undef BELVANE_SDL_POINTER

    // Loads SDL from `fileName` (found as the dynamic linker finds libraries); null, with the reason
    // logged, when the library or one of the functions is missing.
    static std::unique_ptr<SdlLibrary> load(const char *fileName);
};

} // namespace belvane
