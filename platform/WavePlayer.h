#pragma once

#include <string>

namespace belvane {

// Plays one WAV file once, in the background, the way the desktop's sound player does: a new wave
// replaces the one playing, and a file that cannot be played sounds the built-in default alert instead.
class WavePlayer
{
public:
    virtual ~WavePlayer() = default;
    // Starts `path` (cp932 bytes, converted for the file system inside). False when not even the
    // default alert could be sounded (no audio device).
    virtual bool play(const std::string &path) = 0;
    // Stops any wave that plays; nothing when none does.
    virtual void stop() = 0;
};

} // namespace belvane
