#pragma once

#include <QString>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Conversion between the cp932 bytes that the wire, the two files and the records carry and the
// Unicode and file-system texts of this platform. Only the edges of the program convert.
namespace belvane::cp932 {

// Decodes cp932 bytes for display. Bytes that are not valid cp932 come out as U+FFFD.
QString toUnicode(std::string_view bytes);

// Decodes cp932 bytes exactly; nullopt when they are not valid cp932 or hold a NUL, so that nothing
// decoded can name something other than what the bytes say.
std::optional<QString> toUnicodeExactly(std::string_view bytes);

// Encodes text as cp932; nullopt when a character has no cp932 form (nothing is stored lossily).
std::optional<std::string> fromUnicode(const QString &text);

// The number of bytes `text` takes in cp932; a character cp932 cannot hold counts as two.
std::size_t byteLength(const QString &text);

// A path held as cp932 bytes, in the file system's encoding, ready for the operating system; empty
// (no file) when the bytes are not valid cp932.
std::string toNativePath(std::string_view cp932Path);

// A path in the file system's encoding as cp932 bytes; nullopt when cp932 cannot hold it.
std::optional<std::string> fromNativePath(std::string_view nativePath);

} // namespace belvane::cp932
