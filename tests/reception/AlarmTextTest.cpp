#include "AlarmText.h"

#include <gtest/gtest.h>

namespace belvane {
namespace {

constexpr auto npos = std::string_view::npos;

// Each text is read as the receiver reads it, in the format it selects. Behind a "#lOGIC" field,
// `both` tells by its level which format was taken: 1 the marker format, 2 the line format.
TEST(AlarmTextTest, TheSelectedFormatCutsTheFieldsOutAndConvertsTheLevel)
{
    const std::string both = "#lEVEL=1$lEVEL#Level=2\n", logic = "#lOGIC=2$lOGIC";
    const std::pair<std::string, AlarmMessage> cases[] = {
        {"#Sender=PC1\n#Message=Lunch\n#Level=3\n", {"PC1", "Lunch", 3}},
        {"#Sender=PC1\n#Message=L\n#Level=3", {"PC1", "L", -1}}, // no final line feed, no level
        {"#Sender=PC1\r\n#Message=L\r\n#Level=3\r\n", {"PC1\r", "L\r", 3}},
        {"#Sender=P\n#Message=a\nb\n#Level\nc\n#Level=4\n", {"P", "a\nb\n#Level\nc", 4}},
        {"#Sender=A\n#Message=B\n#Level=1\n#Sender=C\n#Level=2\n", {"A", "B", 1}}, // first wins
        {"#Message=x\n#Level=\n#Sender=S\n#Message=M\n#Level=5\n", {"S", "x", -1}},
        // cp932 trail bytes are no markers
        {"#Sender=\x93\x8c\x8b\x9e\n#Message=\x82\xa0\x5c\n#Level=7\n",
         {"\x93\x8c\x8b\x9e", "\x82\xa0\x5c", 7}},
        {"#sENDER=PC1$sENDER#lEVEL=5$lEVEL", {"", "", -1}},
        {logic + "#lEVEL= $lEVEL", {"", "", 0}},
        {logic + "$sENDER#sENDER=A$sENDER", {"A", "", -1}}, // an earlier end marker is not used
        {logic + "#sENDER=a#lEVEL=3$lEVEL$sENDER", {"a#lEVEL=3$lEVEL", "", 3}},
        // in any order, between cp932 texts
        {"h\x82\xa0#mESSAGE=Lunch$mESSAGE\r\n\x93\x8c#lEVEL=5$lEVEL#lOGIC=2$lOGIC#sENDER=PC1$sENDER",
         {"PC1", "Lunch", 5}},
        // The format selection.
        {"#lOGIC=\t\r\n2$lOGIC" + both, {"", "", 1}},
        {"#lOGIC=22$lOGIC" + both, {"", "", 2}},
        {"#lOGIC=4294967298$lOGIC" + both, {"", "", 2}}, // 2 after a 32-bit wrap
        {"#lOGIC=1$lOGIC" + logic + both, {"", "", 2}},
        {"\x81" + logic + both, {"", "", 2}},
        {"#lOGIC=2\x81$lOGIC$lOGIC" + both, {"", "", 1}},
        {"\x93\x8c#mESSAGE=L$mESSAGE" + logic, {"", "L", -1}},
        // The level's conversion.
        {"#Level=abc\n", {"", "", 0}},
        {"#Level=\v\f\r-9x\n", {"", "", -9}},
        {"#Level=- 1\n", {"", "", 0}},
        {"#Level=-2147483649\n", {"", "", INT32_MIN}},
        {"#Level=" + std::string(500, '9') + "\n", {"", "", INT32_MAX}},
    };
    for (const auto &[text, expected] : cases) {
        const AlarmMessage got = ParseAlarmText(text, SelectAlarmFormat(text));
        EXPECT_EQ(std::tie(got.sender, got.message, got.level),
                  std::tie(expected.sender, expected.message, expected.level))
            << ::testing::PrintToString(text);
    }
}

// The search against a plain forward walk is the fuzz target's; here, the cases that bite.
TEST(AlarmTextTest, SearchKeepsToCharacterBoundaries)
{
    const std::tuple<std::string, std::size_t, std::size_t> cases[] = {
        {"\x81#", 0, npos}, {"\x81\x81#", 0, 2}, {"\x81\x81\x81#", 0, npos}, {"\x82\xe0\x82#", 0, npos},
        {"\x80#", 0, 1},    {"\xfd#", 0, 1},     {"#ab\x81\x81#", 1, 5},
    };
    for (const auto &[text, from, expected] : cases) {
        EXPECT_EQ(FindAlarmMarker(text, "#", from), expected) << ::testing::PrintToString(text);
    }
}

} // namespace
} // namespace belvane
