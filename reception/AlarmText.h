#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace belvane {

// The two wire formats of an alarm text. The line format writes "#Sender=…\n#Message=…\n#Level=…\n";
// the marker format wraps each value in its own start and end marker and is chosen by a logic number
// of 2 between "#lOGIC=" and "$lOGIC".
enum class AlarmFormat { Line = 1, Marker = 2 };

// What one received text says: sender and message as received bytes (cp932), level -1 when absent.
struct AlarmMessage
{
    std::string sender;
    std::string message;
    std::int32_t level = -1;

    bool operator==(const AlarmMessage &) const = default;
};

// The format a received text is written in.
[[nodiscard]] AlarmFormat selectAlarmFormat(std::string_view text);

// Cuts sender, message and level out of a received text. Pure; works on the bytes as received.
[[nodiscard]] AlarmMessage ParseAlarmText(std::string_view text, AlarmFormat format);

// Leading white space, one optional sign, decimal digits up to the first other byte; no digits gives 0.
// Values beyond 32 bits saturate at INT32_MIN and INT32_MAX.
[[nodiscard]] std::int32_t convertAlarmNumber(std::string_view text);

// The first occurrence of marker in text at or after from that begins on a cp932 character boundary
// (a lead byte 0x81-0x9F or 0xE0-0xFC and its trail count as one character); npos when there is none.
// from must itself be a character boundary.
[[nodiscard]] std::size_t findAlarmMarker(std::string_view text, std::string_view marker,
                                          std::size_t from = 0);

} // namespace belvane
