#pragma once

#include "MediaCommands.h"
#include "SdlAudio.h"

#include <QObject>

#include <map>
#include <string>

struct _Mix_Music;

namespace belvane {

// The media command interpreter over SDL_mixer music (MIDI through FluidSynth). An opened alias keeps
// its file loaded, and the audio device held, until its piece ends, it is stopped or closed; an alias
// whose piece has ended stays open (and taken) until it is closed, and "play" starts it again from the
// beginning. SDL_mixer has one music stream, so playing one alias stops another that plays.
class SdlMediaCommands final : public QObject, public MediaCommands
{
    Q_OBJECT

public:
    explicit SdlMediaCommands(SdlAudio &sharedAudio, QObject *parent = nullptr);
    // Closes every alias still open.
    ~SdlMediaCommands() override;

    int send(std::string_view command) override;

    // Whether an alias is open, and whether its piece is sounding; aliases compare case-insensitively.
    bool isOpen(std::string_view alias) const;
    bool isPlaying(std::string_view alias) const;

signals:
    // The piece of `alias` came to its end by itself.
    void finished(const QString &alias);

private:
    struct Device
    {
        std::string nativePath;
        _Mix_Music *music = nullptr; // loaded, with a share of the audio device, or null
    };

    int open(std::string_view arguments);
    int play(const std::string &alias);
    int stop(const std::string &alias);
    int close(const std::string &alias);
    int load(Device &device);
    void unload(Device &device);
    void onMusicFinished();

    SdlAudio &audio;
    std::map<std::string, Device> devices; // by upper-cased alias
    std::string playing; // the alias on the music stream, or empty
};

} // namespace belvane
