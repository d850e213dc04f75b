#pragma once

#include <string_view>

namespace belvane {

// What became of a media command. The numbers are the sequencer's own error codes, which a message
// that cannot word a result shows.
enum class MediaResult : int {
    Success = 0,
    UnknownCommand = 261,
    NoOutputDevice = 262, // no sound output could be opened
    UnknownAlias = 263,
    MissingParameter = 273, // no alias, or an "open" without file or alias
    FileNotFound = 275,
    CannotPlay = 277,
    CommandTooLong = 278, // a command longer than the 255 bytes a command may take
    AliasInUse = 289,
    NoSoundFont = 343, // the sequencer has no instruments
};

// A small media command interpreter over the sequencer: "open <file> type sequencer alias <alias>",
// "play <alias>", "stop <alias>", "close <alias>". Aliases name open devices until they are closed.
class MediaCommands
{
public:
    virtual ~MediaCommands() = default;
    // Runs one command string (cp932; file paths are converted for the file system inside).
    [[nodiscard]] virtual MediaResult send(std::string_view command) = 0;
};

} // namespace belvane
