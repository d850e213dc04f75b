#include "AlarmText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace belvane {

void PrintTo(const AlarmMessage &m, std::ostream *os)
{
    *os << "{sender " << ::testing::PrintToString(m.sender) << ", message "
        << ::testing::PrintToString(m.message) << ", level " << m.level << "}";
}

namespace {

constexpr auto npos = std::string_view::npos;

TEST(AlarmTextTest, BothFormatsCutTheFieldsOut)
{
    constexpr auto line = AlarmFormat::Line, marker = AlarmFormat::Marker;
    const std::tuple<AlarmFormat, std::string, AlarmMessage> cases[] = {
        {line, "#Sender=PC1\n#Message=Lunch\n#Level=3\n", {"PC1", "Lunch", 3}},
        {line, "#Sender=PC1\n#Message=L\n#Level=3", {"PC1", "L", -1}}, // no final line feed, no level
        {line, "#Sender=PC1\r\n#Message=L\r\n#Level=3\r\n", {"PC1\r", "L\r", 3}},
        {line, "#Sender=P\n#Message=a\nb\n#Level\nc\n#Level=4\n", {"P", "a\nb\n#Level\nc", 4}},
        {line, "#Sender=A\n#Message=B\n#Level=1\n#Sender=C\n#Level=2\n", {"A", "B", 1}}, // first wins
        {line, "#Message=x\n#Level=\n#Sender=S\n#Message=M\n#Level=5\n", {"S", "x", -1}},
        // cp932 trail bytes are no markers
        {line,
         "#Sender=\x93\x8c\x8b\x9e\n#Message=\x82\xa0\x5c\n#Level=7\n",
         {"\x93\x8c\x8b\x9e", "\x82\xa0\x5c", 7}},
        {line, "#Level=99999999999\n", {"", "", INT32_MAX}},
        {line, "#sENDER=PC1$sENDER#lEVEL=5$lEVEL", {"", "", -1}},
        {marker, "#lEVEL= $lEVEL", {"", "", 0}},
        {marker, "$sENDER#sENDER=A$sENDER", {"A", "", -1}}, // an earlier end marker is not used
        {marker, "#sENDER=a#lEVEL=3$lEVEL$sENDER", {"a#lEVEL=3$lEVEL", "", 3}},
        // in any order, between cp932 texts
        {marker,
         "h\x82\xa0#mESSAGE=Lunch$mESSAGE\r\n\x93\x8c#lEVEL=5$lEVEL#lOGIC=2$lOGIC#sENDER=PC1$sENDER",
         {"PC1", "Lunch", 5}},
    };
    for (const auto &[format, text, expected] : cases) {
        EXPECT_EQ(ParseAlarmText(text, format), expected) << ::testing::PrintToString(text);
    }
}

TEST(AlarmTextTest, FormatSelection)
{
    const std::pair<std::string, AlarmFormat> cases[] = {
        {"#lOGIC=\t\r\n2$lOGIC", AlarmFormat::Marker},
        {"#lOGIC=22$lOGIC", AlarmFormat::Line},
        {"#lOGIC=4294967298$lOGIC", AlarmFormat::Line}, // 2 after a 32-bit wrap
        {"#lOGIC=1$lOGIC#lOGIC=2$lOGIC", AlarmFormat::Line},
        {"\x81#lOGIC=2$lOGIC", AlarmFormat::Line},
        {"\x81\x81#lOGIC=2$lOGIC", AlarmFormat::Marker},
        {"#lOGIC=2\x81$lOGIC$lOGIC", AlarmFormat::Marker},
        {"\x93\x8c#mESSAGE=L$mESSAGE#lOGIC=2$lOGIC", AlarmFormat::Marker},
    };
    for (const auto &[text, expected] : cases) {
        EXPECT_EQ(SelectAlarmFormat(text), expected) << ::testing::PrintToString(text);
    }
}

TEST(AlarmTextTest, NumberConversion)
{
    const std::pair<std::string, std::int32_t> cases[] = {
        {"abc", 0},
        {"\v\f\r-9x", -9},
        {"- 1", 0},
        {"-2147483649", INT32_MIN},
        {std::string(500, '9'), INT32_MAX},
    };
    for (const auto &[text, expected] : cases) {
        EXPECT_EQ(ConvertAlarmNumber(text), expected) << ::testing::PrintToString(text);
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
