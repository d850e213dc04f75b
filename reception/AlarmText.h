#pragma once

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
AlarmFormat SelectAlarmFormat(std::string_view text);

// Cuts sender, message and level out of a received text. Pure; works on the bytes as received.
AlarmMessage ParseAlarmText(std::string_view text, AlarmFormat format);

// Leading white space, one optional sign, decimal digits up to the first other byte; no digits gives 0.
// Values beyond 32 bits saturate at INT32_MIN and INT32_MAX.
std::int32_t ConvertAlarmNumber(std::string_view text);

} // namespace belvane
