// Feeds arbitrary bytes to the alarm text parser. The fast marker search must agree with a plain
// character-by-character walk, and every value must be the exact bytes between its markers.
#include "AlarmText.h"
#include "ByteText.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

std::size_t walkFind(std::string_view text, std::string_view marker, std::size_t from)
{
    for (std::size_t i = from; i + marker.size() <= text.size();
         i += belvane::isCp932LeadByte(text[i]) ? 2 : 1) {
        if (text.compare(i, marker.size(), marker) == 0) {
            return i;
        }
    }
    return std::string_view::npos;
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
    for (std::string_view marker : markers) {
        check(belvane::findAlarmMarker(text, marker) == walkFind(text, marker, 0));
    }
    for (const belvane::AlarmFormat format : {belvane::AlarmFormat::Line, belvane::AlarmFormat::Marker}) {
        const belvane::AlarmMessage parsed = belvane::ParseAlarmText(text, format);
        check(parsed.sender.size() <= size && parsed.message.size() <= size);
        check(parsed.sender.empty() || text.find(parsed.sender) != std::string_view::npos);
        check(parsed.message.empty() || text.find(parsed.message) != std::string_view::npos);
    }
    const belvane::AlarmFormat selected = belvane::selectAlarmFormat(text);
    check(selected == belvane::AlarmFormat::Line || selected == belvane::AlarmFormat::Marker);
    static_cast<void>(belvane::convertAlarmNumber(text));
    return 0;
}
