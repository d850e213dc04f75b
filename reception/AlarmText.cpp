#include "AlarmText.h"

#include "ByteText.h"

#include <algorithm>
#include <optional>

namespace belvane {

namespace {

// One row of the marker table: where a value starts, where it ends, and how far behind the start
// marker's first byte it begins.
struct FieldMarkers
{
    std::string_view start;
    std::string_view end;
    std::size_t valueOffset;
};

// The value must begin right behind its start marker: the markers are plain ASCII, so that position is
// a character boundary, which the end marker search relies on.
constexpr bool valueFollowsMarker(const FieldMarkers &field)
{
    return field.valueOffset == field.start.size();
}

struct FormatMarkers
{
    FieldMarkers sender;
    FieldMarkers message;
    FieldMarkers level;
};

constexpr FieldMarkers logicMarkers {"#lOGIC=", "$lOGIC", 7};

constexpr FormatMarkers lineMarkers {
    {"#Sender=", "\n#Message=", 8},
    {"#Message=", "\n#Level=", 9},
    {"#Level=", "\n", 7},
};

constexpr FormatMarkers markerMarkers {
    {"#sENDER=", "$sENDER", 8},
    {"#mESSAGE=", "$mESSAGE", 9},
    {"#lEVEL=", "$lEVEL", 7},
};

static_assert(valueFollowsMarker(logicMarkers));
static_assert(valueFollowsMarker(lineMarkers.sender) && valueFollowsMarker(lineMarkers.message)
              && valueFollowsMarker(lineMarkers.level));
static_assert(valueFollowsMarker(markerMarkers.sender) && valueFollowsMarker(markerMarkers.message)
              && valueFollowsMarker(markerMarkers.level));

// The value of one field, or nothing when the field is absent or empty.
std::optional<std::string_view> extractValue(std::string_view text, const FieldMarkers &field)
{
    const std::size_t start = findAlarmMarker(text, field.start);
    if (start == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t valueBegin = start + field.valueOffset;
    const std::size_t end = findAlarmMarker(text, field.end, valueBegin);
    if (end == std::string_view::npos || end == valueBegin) {
        return std::nullopt;
    }
    return text.substr(valueBegin, end - valueBegin);
}

constexpr bool isCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::size_t findAlarmMarker(std::string_view text, std::string_view marker, std::size_t from)
{
    // Candidates come from the plain substring search; a candidate p is a character boundary exactly
    // when the run of lead-range bytes right before it has even length, since any other byte ends a
    // character. The walk back stops at the last position known to be a boundary, and a marker that
    // starts with a byte outside the lead range also ends every later walk, so this stays linear.
    std::size_t boundary = from;
    std::size_t candidate = text.find(marker, from);
    while (candidate != std::string_view::npos) {
        std::size_t run = candidate;
        while (run > boundary && isCp932LeadByte(text[run - 1])) {
            --run;
        }
        if ((candidate - run) % 2 == 0) {
            return candidate;
        }
        // The candidate is the trail of a double-byte character, so the next byte starts a new one.
        boundary = candidate + 1;
        candidate = text.find(marker, boundary);
    }
    return std::string_view::npos;
}

std::int32_t convertAlarmNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && isCSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // One beyond INT32_MAX is the magnitude of INT32_MIN; anything larger stays there.
    constexpr std::int64_t magnitudeLimit = std::int64_t {INT32_MAX} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = std::min(magnitude * 10 + (text[i] - '0'), magnitudeLimit);
    }
    if (negative) {
        return static_cast<std::int32_t>(-magnitude);
    }
    return static_cast<std::int32_t>(std::min(magnitude, std::int64_t {INT32_MAX}));
}

AlarmFormat selectAlarmFormat(std::string_view text)
{
    const std::optional<std::string_view> logic = extractValue(text, logicMarkers);
    return logic && convertAlarmNumber(*logic) == 2 ? AlarmFormat::Marker : AlarmFormat::Line;
}

AlarmMessage ParseAlarmText(std::string_view text, AlarmFormat format)
{
    const FormatMarkers &markers = format == AlarmFormat::Marker ? markerMarkers : lineMarkers;
    AlarmMessage result;
    if (const auto level = extractValue(text, markers.level)) {
        result.level = convertAlarmNumber(*level);
    }
    if (const auto message = extractValue(text, markers.message)) {
        result.message = *message;
    }
    if (const auto sender = extractValue(text, markers.sender)) {
        result.sender = *sender;
    }
    return result;
}

} // namespace belvane
