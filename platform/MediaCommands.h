#pragma once

#include <string_view>

namespace belvane {

// A small media command interpreter over the sequencer: "open <file> type sequencer alias <alias>",
// "play <alias>", "stop <alias>", "close <alias>". Aliases name open devices until they are closed.
class MediaCommands
{
public:
    // Error codes; 0 is success.
    static constexpr int unknownCommand = 261;
    static constexpr int unknownAlias = 263;
    static constexpr int missingParameter = 273; // no alias, or an "open" without file or alias
    static constexpr int aliasInUse = 289;
    static constexpr int fileNotFound = 275;
    static constexpr int cannotPlay = 277;
    static constexpr int commandTooLong = 278; // a command longer than the 255 bytes a command may take
    static constexpr int noOutputDevice = 262; // no sound output could be opened
    static constexpr int noSoundFont = 343; // the sequencer has no instruments

    virtual ~MediaCommands() = default;
    // Runs one command string (cp932; file paths are converted for the file system inside).
    virtual int send(std::string_view command) = 0;
};

} // namespace belvane
