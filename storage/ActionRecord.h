#pragma once

#include "ByteText.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace belvane {

// One entry of the action list: what the receiver does for one alarm level. The in-memory form keeps
// the stored bytes of every field; texts are NUL-terminated cp932 inside their fixed-width field.
struct ActionRecord
{
    static constexpr std::size_t size = 896;

    std::int32_t enabled = 0; // 1 = enabled, anything else = disabled
    std::int32_t windowSize = 0; // 0 normal, 1 minimised, 2 maximised
    std::array<char, 56> reserved {};
    std::array<char, 64> name {};
    std::array<char, 256> actionFile {};
    std::array<char, 256> parameters {};
    std::array<char, 256> workFolder {};

    // The record's file image: integers little-endian whatever the host, fields at their fixed offsets.
    std::array<unsigned char, size> toBytes() const;
    // Builds a record from exactly `size` bytes of file image.
    static ActionRecord fromBytes(const unsigned char *bytes);

    bool operator==(const ActionRecord &) const = default;
};

// A 32-bit integer as the files store it: four bytes, least significant first, whatever the host.
inline void writeInt32Le(unsigned char *out, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<unsigned char>(bits >> (8 * i));
    }
}

inline std::int32_t readInt32Le(const unsigned char *in)
{
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        bits |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    }
    return static_cast<std::int32_t>(bits);
}

// The text of a fixed-width field: its bytes up to the first NUL, or the whole field when it holds none.
template<std::size_t N>
std::string fieldText(const std::array<char, N> &field)
{
    std::size_t length = 0;
    while (length < N && field[length] != '\0') {
        ++length;
    }
    return std::string(field.data(), length);
}

// Stores `text` (up to its first NUL) into a field and zero-fills the rest. At most N - 1 bytes are
// kept, cut before a double-byte character that would not fit whole. Returns false when it had to cut.
template<std::size_t N>
bool setFieldText(std::array<char, N> &field, std::string_view text)
{
    field.fill('\0');
    if (const auto nul = text.find('\0'); nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    std::size_t kept = 0;
    while (kept < text.size()) {
        const std::size_t step = isCp932LeadByte(text[kept]) && kept + 1 < text.size() ? 2 : 1;
        if (kept + step > N - 1) {
            break;
        }
        kept += step;
    }
    text.copy(field.data(), kept);
    return kept == text.size();
}

} // namespace belvane
