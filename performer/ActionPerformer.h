#pragma once

#include "Launcher.h"
#include "MediaCommands.h"
#include "WavePlayer.h"

#include <cstdint>
#include <functional>
#include <string>
#include <variant>

namespace belvane {

// What performing an action did: a sound was played (`MediaResult::Success`) or not, or a file was
// handed to the launcher (with what became of it).
using ActionResult = std::variant<MediaResult, LaunchResult>;

// Performs the action of one list entry: a ".WAV" or ".MID" file is played (restarted from its start,
// replacing the sound that plays), any other file is opened through the launcher. Remembers which kind
// of sound it started so that Stop can end it; programs and files it opened are left alone.
class ActionPerformer final
{
public:
    ActionPerformer(WavePlayer &waves, MediaCommands &media, Launcher &opener);
    // Stops whatever it still plays.
    ~ActionPerformer();
    ActionPerformer(const ActionPerformer &) = delete;
    ActionPerformer &operator=(const ActionPerformer &) = delete;

    ActionResult PerformAction(WindowHandle parent, const std::string &actionFile,
                               const std::string &parameters, std::int32_t windowSize);
    // Stops the recorded sound and plays `path` once: success, or the media command's result
    // (`MediaResult::NoOutputDevice` for a wave the player could not start); does nothing for other
    // extensions.
    MediaResult Play(const std::string &path);
    void Stop();

    // `watcher` hears what became of every sound Play starts. Empty for none.
    void watchSounds(std::function<void(MediaResult result)> watcher);

private:
    MediaResult playWave(const std::string &path);
    MediaResult playMidi(const std::string &path);

    // ".WAV", ".MID" or empty: the kind of sound that Stop ends.
    std::string currentKind;
    WavePlayer &wavePlayer;
    MediaCommands &mediaCommands;
    Launcher &launcher;
    std::function<void(MediaResult result)> soundWatcher;
};

// Opens `file` through the launcher with the parameters (none when empty) and the show command that
// `windowSize` maps to (1 minimised, 2 maximised, anything else normal). Returns the launcher's result.
LaunchResult LaunchFile(Launcher &launcher, WindowHandle parent, const std::string &file,
                        const std::string &parameters, std::int32_t windowSize);

} // namespace belvane
