#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace belvane {

// The receiver's remembered settings: where the alarm window was left and the port it listens on.
// Stored raw, 1036 bytes, in "Belvane.cfg"; the four reserved texts are carried byte for byte.
struct SettingsRecord
{
    static constexpr std::size_t size = 1036;
    static constexpr const char *fileName = "Belvane.cfg";

    std::int32_t windowX = 52;
    std::int32_t windowY = 52;
    std::int32_t port = 9912;
    std::array<char, 256> reserved1 {};
    std::array<char, 256> reserved2 {};
    std::array<char, 256> reserved3 {};
    std::array<char, 256> reserved4 {};

    // The file image: integers little-endian whatever the host, fields at their fixed offsets.
    std::array<unsigned char, size> toBytes() const;
    // Builds a record from exactly `size` bytes of file image.
    static SettingsRecord fromBytes(const unsigned char *bytes);

    bool operator==(const SettingsRecord &) const = default;
};

// Why a settings file operation failed.
enum class SettingsFileError {
    None,
    AccessDenied, // permissions or a read-only file system
    SharingViolation, // another open of the file holds it
    DiskFull, // no space or quota left
    FolderNotFound, // the file's folder is missing or is not a folder
    ShortRead, // the file changed under us and ended early
    Other,
};

// The outcome of a load or save. On failure `cause` says why and `path` names the file (in the file
// system's encoding), for the caller to tell the user; the file on disk is as it was before the call.
struct SettingsFileResult
{
    bool ok = true;
    SettingsFileError cause = SettingsFileError::None;
    std::string path;
};

// The size of a file in bytes without reading it; 0 when the file does not exist, is not a regular file,
// or cannot be opened (including while another open holds it). A size that does not fit 32 bits comes
// out as 0xFFFFFFFF, so no huge file passes for a small one.
[[nodiscard]] std::uint32_t FileSizeOf(const std::string &path);

// Replaces `record` by the file's content when the file is exactly 1036 bytes long; any other file, or
// none, leaves `record` as it is and counts as success. A file of the right size that cannot be opened
// or read whole leaves `record` untouched and reports why. `path` is in the file system's encoding.
SettingsFileResult LoadSettings(const std::string &path, SettingsRecord &record);

// Writes the whole record to the file, creating it or replacing it. The new content goes to a fresh file
// beside the old one and is renamed over it once it is safely on disk, so the file always holds either
// its old or its new content, never a mix. While another open holds the file the save fails as a
// sharing violation. Once the rename is made the save counts as done, even should the folder then
// refuse to sync: the file already holds the new content. `path` is in the file system's encoding.
[[nodiscard]] SettingsFileResult SaveSettings(const std::string &path, const SettingsRecord &record);

} // namespace belvane
