#pragma once

#include "ActionRecord.h"

#include <cstdint>
#include <optional>
#include <string>

namespace belvane {

// The action list file: a 24-byte header ("ZidovuZu!", version, record count) followed by 896-byte
// records, one per alarm level. One object serves one use: open, read or write what is needed, close.
// Every open of the file is exclusive, against this process and every other (flock).
// Paths are in the file system's encoding; record texts are cp932.
class ActionListFile final
{
public:
    // Result codes; 0 or more is a record count or a byte count.
    static constexpr std::int32_t ioFailure = -1;
    static constexpr std::int32_t outOfRange = -2;
    static constexpr std::int32_t notOpen = -3;
    static constexpr std::int32_t wrongMode = -4;

    static constexpr std::int32_t headerSize = 24;
    // The lists the program writes: start-up's default list, and what may be listed or imported.
    static constexpr std::int32_t defaultListCount = 50;
    static constexpr std::uintmax_t defaultListBytes =
        headerSize + static_cast<std::uintmax_t>(ActionRecord::size) * defaultListCount;
    static constexpr const char *fileName = "Belvane.acd";

    ActionListFile() = default;
    // Closes a file that is still held, so a forgotten Close cannot keep the list locked.
    ~ActionListFile();
    ActionListFile(const ActionListFile &) = delete;
    ActionListFile &operator=(const ActionListFile &) = delete;

    std::int32_t OpenOrCreate(std::int32_t requestedCount, const std::string &listPath);
    std::int32_t BeginRead();
    std::int32_t BeginWrite();
    std::int32_t ReadRecord(std::int32_t index, ActionRecord &record);
    std::int32_t WriteRecord(std::int32_t index, const ActionRecord &record);
    std::int32_t Close();
    std::int32_t FetchRecord(std::int32_t index, ActionRecord &record);
    // Creates the default list when nothing exists at `listPath`: 50 records, level 0 playing "Malarm.wav"
    // and level 1 "Salarm.wav" from `programFolder` (cp932, ending in a path separator; empty when the
    // folder has no cp932 name, which leaves both levels blank). The list appears whole or not at all.
    void CreateDefault(const std::string &listPath, const std::string &programFolder);

private:
    enum class Mode { Closed, Reading, Writing };

    // BeginRead and BeginWrite: opens the remembered file with `access` for a pass in `passMode`.
    std::int32_t beginPass(int access, Mode passMode);
    // The checks and positioning shared by ReadRecord and WriteRecord: a result to return at once, or
    // nothing when the transfer may go ahead at the file's position.
    std::optional<std::int32_t> positionPass(std::int32_t index, Mode passMode) const;

    std::int32_t openVersion = 0; // 0 until OpenOrCreate succeeds, then the header's version
    std::int32_t count = 0;
    std::string path;
    int handle = -1;
    Mode mode = Mode::Closed;
};

} // namespace belvane
