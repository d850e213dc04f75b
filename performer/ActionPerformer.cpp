#include "ActionPerformer.h"

#include "ByteText.h"

#include <cstddef>
#include <string_view>

namespace belvane {

namespace {

constexpr std::string_view waveKind = ".WAV";
constexpr std::string_view midiKind = ".MID";

// Media commands are formatted into a buffer of this many bytes, the terminating NUL included.
constexpr std::size_t commandBufferSize = 256;

// The extension of the path's last component: from its last dot to the end, dot included, or empty.
// Walks cp932 characters, so a trail byte 0x5C ("\") or 0x2E is never taken for a separator or a dot.
std::string_view extensionOf(std::string_view path)
{
    std::size_t componentStart = 0;
    std::size_t lastDot = std::string_view::npos;
    for (std::size_t i = 0; i < path.size(); i += isCp932LeadByte(path[i]) ? 2 : 1) {
        if (path[i] == '/' || path[i] == '\\') {
            componentStart = i + 1;
            lastDot = std::string_view::npos;
        } else if (path[i] == '.') {
            lastDot = i;
        }
    }
    if (lastDot == std::string_view::npos || lastDot < componentStart) {
        return {};
    }
    return path.substr(lastDot);
}

int showCommandFor(std::int32_t windowSize)
{
    switch (windowSize) {
    case 1:
        return showMinimized;
    case 2:
        return showMaximized;
    default:
        return showNormal;
    }
}

} // namespace

ActionPerformer::ActionPerformer(WavePlayer &waves, MediaCommands &media, Launcher &opener)
    : wavePlayer(waves)
    , mediaCommands(media)
    , launcher(opener)
{ }

ActionPerformer::~ActionPerformer()
{
    Stop();
}

ActionResult ActionPerformer::PerformAction(WindowHandle parent, const std::string &actionFile,
                                            const std::string &parameters, std::int32_t windowSize)
{
    const std::string kind = upperAscii(extensionOf(actionFile));
    if (kind == waveKind || kind == midiKind) {
        Stop();
        return Play(actionFile);
    }
    return LaunchFile(launcher, parent, actionFile, parameters, windowSize);
}

MediaResult ActionPerformer::Play(const std::string &path)
{
    const std::string kind = upperAscii(extensionOf(path));
    if (kind != waveKind && kind != midiKind) {
        return MediaResult::Success;
    }
    // A sound started while another is recorded would leave the other beyond the reach of Stop, and
    // an open ".MID" device would keep its alias taken for good.
    Stop();
    const MediaResult result = kind == waveKind ? playWave(path) : playMidi(path);
    if (soundWatcher) {
        soundWatcher(result);
    }
    return result;
}

void ActionPerformer::watchSounds(std::function<void(MediaResult result)> watcher)
{
    soundWatcher = std::move(watcher);
}

MediaResult ActionPerformer::playWave(const std::string &path)
{
    // The kind is recorded either way: a player that could not play the file may sound something else
    // instead, which Stop must end.
    const bool playing = wavePlayer.play(path);
    currentKind = waveKind;
    return playing ? MediaResult::Success : MediaResult::NoOutputDevice;
}

MediaResult ActionPerformer::playMidi(const std::string &path)
{
    const std::string kind(midiKind);
    currentKind.clear();
    const std::string open = "open " + path + " type sequencer alias " + kind;
    // A command that would not fit the buffer is refused rather than cut: a cut path names another file.
    if (open.size() >= commandBufferSize) {
        return MediaResult::CommandTooLong;
    }
    if (const MediaResult result = mediaCommands.send(open); result != MediaResult::Success) {
        return result;
    }
    if (const MediaResult result = mediaCommands.send("play " + kind); result != MediaResult::Success) {
        // Leaving the device open would keep the alias taken and make every later MIDI alarm fail.
        static_cast<void>(mediaCommands.send("close " + kind));
        return result;
    }
    currentKind = kind;
    return MediaResult::Success;
}

void ActionPerformer::Stop()
{
    if (currentKind.empty()) {
        return;
    }
    if (currentKind == midiKind) {
        static_cast<void>(mediaCommands.send("stop " + currentKind));
        static_cast<void>(mediaCommands.send("close " + currentKind));
    } else if (currentKind == waveKind) {
        wavePlayer.stop();
    }
    currentKind.clear();
}

LaunchResult LaunchFile(Launcher &launcher, WindowHandle parent, const std::string &file,
                        const std::string &parameters, std::int32_t windowSize)
{
    return launcher.open(parent, file, parameters, showCommandFor(windowSize));
}

} // namespace belvane
