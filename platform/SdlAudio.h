#pragma once

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>

struct SDL_RWops;

namespace belvane {

struct SdlLibrary;

// The process's share of the SDL audio output: the mixer's device for music, and outputs of their own
// for users that render their sound themselves (the wave player). A device is opened when a user asks
// for it and closed as soon as that user gives it back, so an idle program holds no audio device and
// runs no audio thread. SDL itself is loaded by the first user, SDL_mixer by the first user of the
// mixer: until a sound plays, none of their libraries is in the process, and when one cannot be loaded
// its users fail as without a device. SDL reports finished music on its own thread; it arrives here as
// a signal on the thread this object lives on.
//
// SDL_mixer's finished hook is process-wide, so only the first SdlAudio alive at a time can open
// devices; a second one refuses every request. The users (wave player, media commands) must be
// destroyed before it.
class SdlAudio final : public QObject
{
    Q_OBJECT

public:
    static constexpr int frequency = 44100;
    static constexpr int channels = 2;
    // Frames rendered at a time: 5.8 ms. The sound server starts a stream once it holds a buffer or
    // two, so a larger buffer makes every sound late: with 2,048 frames a wave began about 110 ms after
    // a fresh paplay of it through PipeWire, with 256 about 18 ms (bench/SoundOnset.cpp).
    static constexpr int chunkFrames = 256;

    static constexpr const char *sdlLibrary = "libSDL2-2.0.so.0";
    static constexpr const char *mixerLibrary = "libSDL2_mixer-2.0.so.0";

    // `sdlLibraryFile` and `mixerLibraryFile` name the SDL and SDL_mixer libraries to load.
    explicit SdlAudio(QObject *parent = nullptr, std::string sdlLibraryFile = sdlLibrary,
                      std::string mixerLibraryFile = mixerLibrary);
    ~SdlAudio() override;
    SdlAudio(const SdlAudio &) = delete;
    SdlAudio &operator=(const SdlAudio &) = delete;

    // Opens the mixer's device for one more user; false when no audio device could be opened.
    [[nodiscard]] bool acquire();
    // Gives one user's share of the mixer's device back; the last one closes it.
    void release();

    // Loads SDL for a user that renders its own sound; false when it cannot be loaded.
    [[nodiscard]] bool loadSdl();
    // Opens an output of its own, 16-bit stereo at `frequency`, paused, that SDL's audio thread fills
    // through `fill`; 0 when none could be opened. Only after loadSdl.
    using Fill = void (*)(void *userdata, std::uint8_t *stream, int bytes); // SDL_AudioCallback
    std::uint32_t openOutput(Fill fill, void *userdata);
    // Closes an output that openOutput gave; its audio thread has ended when this returns.
    void closeOutput(std::uint32_t output);

    bool isOpen() const { return users > 0 || outputs > 0; }

    // SDL's functions (SDL_mixer's too once a mixer user acquired); only after a successful load.
    const SdlLibrary &sdl() const;

    // Opens a regular file for reading, or null. A FIFO or device is refused without blocking: reading
    // one would stall the thread that plays. Only after a successful load.
    SDL_RWops *openRegularFile(const std::string &nativePath) const;

signals:
    // The music stopped, on its own or halted. Queued: check the music's state when it arrives.
    void musicFinished();
    // The last device was closed.
    void deviceClosed();

private:
    static void onMusicFinished();
    bool initSubsystem();
    void quitSubsystem();

    std::string sdlFile;
    std::string mixerFile;
    std::unique_ptr<SdlLibrary> library;
    int users = 0; // of the mixer's device
    int outputs = 0;
    bool active = false; // this is the instance SDL's hooks report to
};

} // namespace belvane
