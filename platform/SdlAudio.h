#pragma once

#include <QObject>

#include <memory>
#include <string>

struct SDL_RWops;

namespace belvane {

struct SdlLibrary;

// The process's share of the SDL audio output. The device is opened when the first user acquires it
// and closed as soon as the last one releases it, so an idle program holds no audio device and runs no
// audio thread. SDL itself is loaded at the first acquire: until a sound plays, none of its libraries
// is in the process, and when it cannot be loaded every acquire fails as without a device. SDL reports
// finished channels and music on its own thread; they arrive here as signals on the thread this object lives
// on.
//
// SDL's finished hooks are process-wide, so only the first SdlAudio alive at a time can open the
// device; a second one refuses every acquire. The users (wave player, media commands) must be destroyed
// before it.
class SdlAudio final : public QObject
{
    Q_OBJECT

public:
    static constexpr int frequency = 44100;
    static constexpr int channels = 2;

    static constexpr const char *mixerLibrary = "libSDL2_mixer-2.0.so.0";

    // `mixerFile` names the SDL_mixer library to load.
    explicit SdlAudio(QObject *parent = nullptr, std::string mixerFile = mixerLibrary);
    ~SdlAudio() override;
    SdlAudio(const SdlAudio &) = delete;
    SdlAudio &operator=(const SdlAudio &) = delete;

    // Opens the device for one more user; false when no audio device could be opened.
    [[nodiscard]] bool acquire();
    // Gives one user's share back; the last one closes the device.
    void release();

    bool isOpen() const { return users > 0; }

    // SDL's functions; loaded by the first successful acquire, and only to be called after one.
    const SdlLibrary &sdl() const;

    // Opens a regular file for reading, or null. A FIFO or device is refused without blocking: reading
    // one would stall the thread that plays. Only while the device is open.
    SDL_RWops *OpenRegularFile(const std::string &nativePath) const;

signals:
    // A mixer channel stopped, on its own or halted. Queued: check the channel's state when it arrives.
    void channelFinished(int channel);
    // The music stopped, on its own or halted. Queued like channelFinished.
    void musicFinished();
    // The device was closed because its last user released it.
    void deviceClosed();

private:
    static void onChannelFinished(int channel);
    static void onMusicFinished();

    std::string libraryFile;
    std::unique_ptr<SdlLibrary> library;
    int users = 0;
    bool active = false; // this is the instance SDL's hooks report to
};

} // namespace belvane
