#pragma once

#include <QObject>

namespace belvane {

// The process's share of the SDL audio output. The device is opened when the first user acquires it
// and closed as soon as the last one releases it, so an idle program holds no audio device and runs no
// audio thread. SDL reports finished channels and music on its own thread; they arrive here as signals
// on the thread this object lives on.
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

    explicit SdlAudio(QObject *parent = nullptr);
    ~SdlAudio() override;
    SdlAudio(const SdlAudio &) = delete;
    SdlAudio &operator=(const SdlAudio &) = delete;

    // Opens the device for one more user; false when no audio device could be opened.
    [[nodiscard]] bool acquire();
    // Gives one user's share back; the last one closes the device.
    void release();

    bool isOpen() const { return users > 0; }

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

    int users = 0;
    bool active = false; // this is the instance SDL's hooks report to
};

} // namespace belvane
