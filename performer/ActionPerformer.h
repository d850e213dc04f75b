#pragma once

#include "Launcher.h"
#include "MediaCommands.h"
#include "WavePlayer.h"

#include <cstdint>
#include <string>

namespace belvane {

// Performs the action of one list entry: a ".WAV" or ".MID" file is played (restarted from its start,
// replacing the sound that plays), any other file is opened through the launcher. Remembers which kind
// of sound it started so that Stop can end it; programs and files it opened are left alone.
class ActionPerformer final
{
public:
    ActionPerformer(WavePlayer &wavePlayer, MediaCommands &mediaCommands, Launcher &launcher);
    // Stops whatever it still plays.
    ~ActionPerformer();
    ActionPerformer(const ActionPerformer &) = delete;
    ActionPerformer &operator=(const ActionPerformer &) = delete;

    void PerformAction(WindowHandle parent, const std::string &actionFile, const std::string &parameters,
                       std::int32_t windowSize);
    // Stops the recorded sound and plays `path` once. 0 on success, or the media command's error code;
    // does nothing for other extensions.
    int Play(const std::string &path);
    void Stop();

    // ".WAV", ".MID" or empty.
    std::string currentKind;

private:
    WavePlayer &wavePlayer;
    MediaCommands &mediaCommands;
    Launcher &launcher;
};

// Opens `file` through the launcher with the parameters (none when empty) and the show command that
// `windowSize` maps to (1 minimised, 2 maximised, anything else normal). Returns the launcher's result.
int LaunchFile(Launcher &launcher, WindowHandle parent, const std::string &file,
               const std::string &parameters, std::int32_t windowSize);

// The process's single performer over the system's sound player, sequencer and launcher. Built on
// first use; it lives until the process exits and then stops what it plays.
ActionPerformer &thePerformer();

} // namespace belvane
