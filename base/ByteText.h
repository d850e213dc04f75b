#pragma once

#include <string>
#include <string_view>

// Byte-level helpers for the cp932 texts the program carries. Plain C++, so that the file layouts, the
// alarm parser and the fuzz build take them without Qt.
namespace belvane {

// True when `byte` starts a cp932 double-byte character.
constexpr bool isCp932LeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

constexpr bool isCp932LeadByte(char byte)
{
    return isCp932LeadByte(static_cast<unsigned char>(byte));
}

// ASCII a-z raised to upper case one byte at a time; every other byte stays.
inline std::string upperAscii(std::string_view text)
{
    std::string result(text);
    for (char &c : result) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return result;
}

} // namespace belvane
