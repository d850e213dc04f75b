// Feeds arbitrary bytes to the alarm text parser and compares everything it gives with a model of its
// own: markers found by a plain character-by-character walk from any character boundary, fields cut out
// between them, and numbers converted by the C library.
#include "AlarmText.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace {

constexpr std::size_t npos = std::string_view::npos;

// The bytes that start a double-byte character, written out here rather than taken from the code under
// test, so that a wrong bound there shows as a difference.
bool startsDoubleByte(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return (0x81 <= byte && byte <= 0x9F) || (0xE0 <= byte && byte <= 0xFC);
}

std::size_t walkFind(std::string_view text, std::string_view marker, std::size_t from)
{
    for (std::size_t i = from; i + marker.size() <= text.size(); i += startsDoubleByte(text[i]) ? 2 : 1) {
        if (text.compare(i, marker.size(), marker) == 0) {
            return i;
        }
    }
    return npos;
}

// The value right behind the first `start`, up to the first `end` after it; nothing when either is
// missing or the value is empty.
std::optional<std::string_view> modelValue(std::string_view text, std::string_view start,
                                           std::string_view end)
{
    const std::size_t at = walkFind(text, start, 0);
    if (at == npos) {
        return std::nullopt;
    }
    const std::size_t begin = at + start.size();
    const std::size_t stop = walkFind(text, end, begin);
    if (stop == npos || stop == begin) {
        return std::nullopt;
    }
    return text.substr(begin, stop - begin);
}

// strtoll reads white space, a sign and decimal digits as the parser's conversion does, and saturates
// at its own wider limits.
std::int32_t modelNumber(std::string_view text)
{
    const std::string terminated(text); // a NUL byte ends the number as any other non-digit would
    const long long value = std::strtoll(terminated.c_str(), nullptr, 10);
    return static_cast<std::int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

// Sender, message and level: where each value starts and where it ends, in the two formats.
using Fields = std::array<std::pair<std::string_view, std::string_view>, 3>;
constexpr Fields lineFields {{{"#Sender=", "\n#Message="}, {"#Message=", "\n#Level="}, {"#Level=", "\n"}}};
constexpr Fields markerFields {{{"#sENDER=", "$sENDER"}, {"#mESSAGE=", "$mESSAGE"}, {"#lEVEL=", "$lEVEL"}}};

belvane::AlarmMessage modelParse(std::string_view text, belvane::AlarmFormat format)
{
    const Fields &fields = format == belvane::AlarmFormat::Marker ? markerFields : lineFields;
    belvane::AlarmMessage model;
    model.sender = modelValue(text, fields[0].first, fields[0].second).value_or("");
    model.message = modelValue(text, fields[1].first, fields[1].second).value_or("");
    if (const auto level = modelValue(text, fields[2].first, fields[2].second)) {
        model.level = modelNumber(*level);
    }
    return model;
}

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

constexpr std::array<std::string_view, 14> markers {
    "#Sender=", "\n#Message=", "#Message=", "\n#Level=", "#Level=", "\n",      "#sENDER=",
    "$sENDER",  "#mESSAGE=",   "$mESSAGE",  "#lEVEL=",   "$lEVEL",  "#lOGIC=", "$lOGIC"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    // From the start, from a character boundary about halfway, and on from every occurrence (the markers
    // begin with an ASCII byte, so the next character starts right behind one).
    std::size_t halfway = 0;
    while (halfway < size / 2) {
        halfway += startsDoubleByte(text[halfway]) ? 2 : 1;
    }
    for (std::string_view marker : markers) {
        check(belvane::findAlarmMarker(text, marker, halfway) == walkFind(text, marker, halfway));
        for (std::size_t from = 0;;) {
            const std::size_t found = belvane::findAlarmMarker(text, marker, from);
            check(found == walkFind(text, marker, from));
            if (found == npos) {
                break;
            }
            from = found + 1;
        }
    }
    for (const belvane::AlarmFormat format : {belvane::AlarmFormat::Line, belvane::AlarmFormat::Marker}) {
        check(belvane::ParseAlarmText(text, format) == modelParse(text, format));
    }
    const std::optional<std::string_view> logic = modelValue(text, "#lOGIC=", "$lOGIC");
    const bool marker = logic && modelNumber(*logic) == 2;
    check(belvane::selectAlarmFormat(text)
          == (marker ? belvane::AlarmFormat::Marker : belvane::AlarmFormat::Line));
    check(belvane::convertAlarmNumber(text) == modelNumber(text));
    return 0;
}
