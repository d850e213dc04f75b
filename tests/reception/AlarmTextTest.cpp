#include "AlarmText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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
    const struct
    {
        const char *name;
        AlarmFormat format;
        std::string text;
        AlarmMessage expected;
    } cases[] = {
        {"plain", AlarmFormat::Line, "#Sender=PC1\n#Message=Lunch\n#Level=3\n", {"PC1", "Lunch", 3}},
        {"no final line feed, no level",
         AlarmFormat::Line,
         "#Sender=PC1\n#Message=L\n#Level=3",
         {"PC1", "L", -1}},
        {"CR stays", AlarmFormat::Line, "#Sender=PC1\r\n#Message=L\r\n#Level=3\r\n", {"PC1\r", "L\r", 3}},
        {"message over lines",
         AlarmFormat::Line,
         "#Sender=P\n#Message=a\nb\n#Level\nc\n#Level=4\n",
         {"P", "a\nb\n#Level\nc", 4}},
        {"first occurrence wins",
         AlarmFormat::Line,
         "#Sender=A\n#Message=B\n#Level=1\n#Sender=C\n#Level=2\n",
         {"A", "B", 1}},
        {"end marker behind value start",
         AlarmFormat::Line,
         "#Message=x\n#Level=\n#Sender=S\n#Message=M\n#Level=5\n",
         {"S", "x", -1}},
        {"cp932 trail bytes are no markers",
         AlarmFormat::Line,
         "#Sender=\x93\x8c\x8b\x9e\n#Message=\x82\xa0\x5c\n#Level=7\n",
         {"\x93\x8c\x8b\x9e", "\x82\xa0\x5c", 7}},
        {"level overflow saturates", AlarmFormat::Line, "#Level=99999999999\n", {"", "", INT32_MAX}},
        {"marker fields are not line fields",
         AlarmFormat::Line,
         "#sENDER=PC1$sENDER#lEVEL=5$lEVEL",
         {"", "", -1}},
        {"space level is 0", AlarmFormat::Marker, "#lEVEL= $lEVEL", {"", "", 0}},
        {"earlier end marker unused", AlarmFormat::Marker, "$sENDER#sENDER=A$sENDER", {"A", "", -1}},
        {"nested markers stay in value",
         AlarmFormat::Marker,
         "#sENDER=a#lEVEL=3$lEVEL$sENDER",
         {"a#lEVEL=3$lEVEL", "", 3}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ParseAlarmText(c.text, c.format), c.expected) << c.name;
    }
}

TEST(AlarmTextTest, MarkerFormatInAnyOrder)
{
    const std::array<std::string, 4> pairs {"#lOGIC=2$lOGIC", "#lEVEL=5$lEVEL", "#sENDER=PC1$sENDER",
                                            "#mESSAGE=Lunch$mESSAGE"};
    std::array<int, 4> order {0, 1, 2, 3};
    do {
        std::string text = "head\x82\xa0";
        for (int i : order) {
            text += pairs[i] + "\r\n\x93\x8c-";
        }
        EXPECT_EQ(SelectAlarmFormat(text), AlarmFormat::Marker) << text;
        EXPECT_EQ(ParseAlarmText(text, AlarmFormat::Marker), (AlarmMessage {"PC1", "Lunch", 5})) << text;
    } while (std::next_permutation(order.begin(), order.end()));
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
