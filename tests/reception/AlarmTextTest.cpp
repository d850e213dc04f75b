#include "AlarmText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <ostream>
#include <random>
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

bool IsLead(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Steps forward one character at a time, the obvious way to honour double-byte characters.
std::size_t ReferenceFind(std::string_view text, std::string_view marker, std::size_t from)
{
    for (std::size_t i = from; i + marker.size() <= text.size(); i += IsLead(text[i]) ? 2 : 1) {
        if (text.compare(i, marker.size(), marker) == 0) {
            return i;
        }
    }
    return npos;
}

struct ParseCase
{
    const char *name;
    std::string text;
    AlarmMessage expected;
};

void ExpectParses(AlarmFormat format, const std::vector<ParseCase> &cases)
{
    for (const ParseCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseAlarmText(c.text, format), c.expected);
    }
}

TEST(AlarmTextTest, LineFormat)
{
    ExpectParses(
        AlarmFormat::Line,
        {
            {"plain", "#Sender=PC1\n#Message=Lunch\n#Level=3\n", {"PC1", "Lunch", 3}},
            {"no final line feed, no level", "#Sender=PC1\n#Message=Lunch\n#Level=3", {"PC1", "Lunch", -1}},
            {"CR stays", "#Sender=PC1\r\n#Message=Lunch\r\n#Level=3\r\n", {"PC1\r", "Lunch\r", 3}},
            {"message over lines",
             "#Sender=PC1\n#Message=a\nb\n#Level\nc\n#Level=4\n",
             {"PC1", "a\nb\n#Level\nc", 4}},
            {"text around ignored", "hi\n#Sender=PC1\n#Message=M\n#Level=12\nrest", {"PC1", "M", 12}},
            {"spaces kept", "#Sender= PC1 \n#Message=  \n#Level=1\n", {" PC1 ", "  ", 1}},
            {"empty values absent", "#Sender=\n#Message=\n#Level=\n", {"", "", -1}},
            {"first occurrence wins",
             "#Sender=A\n#Message=B\n#Level=1\n#Sender=C\n#Message=D\n#Level=2\n",
             {"A", "B", 1}},
            {"end marker behind value start",
             "#Message=x\n#Level=\n#Sender=S\n#Message=M\n#Level=5\n",
             {"S", "x", -1}},
            {"earlier end marker unused",
             "\n#Message=\n#Sender=PC1\n#Message=M\n#Level=2\n",
             {"PC1", "\n#Sender=PC1\n#Message=M", 2}},
            {"cp932 values",
             "#Sender=\x93\x8c\x8b\x9e\n#Message=\x82\xa0\x5c\n#Level=7\n",
             {"\x93\x8c\x8b\x9e", "\x82\xa0\x5c", 7}},
            {"marker fields ignored", "#sENDER=PC1$sENDER#mESSAGE=M$mESSAGE#lEVEL=5$lEVEL", {"", "", -1}},
            {"level overflow saturates", "#Level=99999999999\n", {"", "", INT32_MAX}},
        });
}

TEST(AlarmTextTest, MarkerFormat)
{
    ExpectParses(
        AlarmFormat::Marker,
        {
            {"space level is 0", "#lEVEL= $lEVEL", {"", "", 0}},
            {"empty level absent", "#sENDER=S$sENDER#lEVEL=$lEVEL", {"S", "", -1}},
            {"level without end marker", "#lEVEL=5", {"", "", -1}},
            {"values kept whole", "#sENDER= PC1\r\n$sENDER#mESSAGE=a\nb $mESSAGE", {" PC1\r\n", "a\nb ", -1}},
            {"first occurrence wins",
             "#lEVEL=1$lEVEL#lEVEL=2$lEVEL#sENDER=A$sENDER#sENDER=B$sENDER",
             {"A", "", 1}},
            {"earlier end marker unused", "$sENDER#sENDER=A$sENDER", {"A", "", -1}},
            {"nested markers stay in value", "#sENDER=a#lEVEL=3$lEVEL$sENDER", {"a#lEVEL=3$lEVEL", "", 3}},
            {"line fields ignored", "#Sender=PC1\n#Message=M\n#Level=3\n", {"", "", -1}},
        });
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
        SCOPED_TRACE(text);
        EXPECT_EQ(SelectAlarmFormat(text), AlarmFormat::Marker);
        EXPECT_EQ(ParseAlarmText(text, AlarmFormat::Marker), (AlarmMessage {"PC1", "Lunch", 5}));
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST(AlarmTextTest, FormatSelection)
{
    const std::pair<std::string, AlarmFormat> cases[] = {
        {"#lOGIC=2$lOGIC", AlarmFormat::Marker},
        {"#lOGIC=\t\r\n2$lOGIC", AlarmFormat::Marker},
        {"#lOGIC=2x$lOGIC", AlarmFormat::Marker},
        {"#lOGIC=02$lOGIC", AlarmFormat::Marker},
        {"#lOGIC=1$lOGIC", AlarmFormat::Line},
        {"#lOGIC=-2$lOGIC", AlarmFormat::Line},
        {"#lOGIC=22$lOGIC", AlarmFormat::Line},
        {"#lOGIC=4294967298$lOGIC", AlarmFormat::Line}, // 2 after a 32-bit wrap
        {"$lOGIC2#lOGIC=", AlarmFormat::Line},
        {"#LOGIC=2$LOGIC", AlarmFormat::Line},
        {"#lOGIC=1$lOGIC#lOGIC=2$lOGIC", AlarmFormat::Line},
        {"\x81#lOGIC=2$lOGIC", AlarmFormat::Line},
        {"\x81\x81#lOGIC=2$lOGIC", AlarmFormat::Marker},
        {"#lOGIC=2\x81$lOGIC", AlarmFormat::Line},
        {"#lOGIC=2\x81$lOGIC$lOGIC", AlarmFormat::Marker},
    };
    for (const auto &[text, expected] : cases) {
        EXPECT_EQ(SelectAlarmFormat(text), expected) << ::testing::PrintToString(text);
    }
}

TEST(AlarmTextTest, NumberConversion)
{
    const std::pair<std::string, std::int32_t> cases[] = {
        {"3", 3},
        {"abc", 0},
        {"-1", -1},
        {"", 0},
        {"\v\f\r9", 9},
        {"--1", 0},
        {"- 1", 0},
        {"0000000000000000000007", 7},
        {"\x82\x4f", 0},
        {"2147483648", INT32_MAX},
        {"-2147483649", INT32_MIN},
        {std::string(500, '9'), INT32_MAX},
        {"-" + std::string(500, '9'), INT32_MIN},
    };
    for (const auto &[text, expected] : cases) {
        EXPECT_EQ(ConvertAlarmNumber(text), expected) << ::testing::PrintToString(text);
    }
}

TEST(AlarmTextTest, SearchKeepsToCharacterBoundaries)
{
    struct Case
    {
        std::string text;
        std::string marker;
        std::size_t from;
        std::size_t expected;
    };
    const Case cases[] = {
        {"\x81#Level=", "#Level=", 0, npos},
        {"\x81\x81#Level=", "#Level=", 0, 2},
        {"\x81\x81\x81#Level=", "#Level=", 0, npos},
        {"\x82\xe0\x82\xe0#", "#", 0, 4},
        {"\x82\xe0\x82#", "#", 0, npos},
        {"\xfc#", "#", 0, npos},
        {"\x80#", "#", 0, 1},
        {"\xfd#", "#", 0, 1},
        {"3\x81\n4\n", "\n", 0, 4},
        {"#ab\x81\x81#", "#", 1, 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.text));
        EXPECT_EQ(FindAlarmMarker(c.text, c.marker, c.from), c.expected);
        EXPECT_EQ(ReferenceFind(c.text, c.marker, c.from), c.expected);
    }
}

TEST(AlarmTextTest, SearchMatchesForwardSteppingOnGeneratedTexts)
{
    const std::array<std::string, 13> markers {
        "#Sender=", "\n#Message=", "#Message=", "\n#Level=", "#Level=", "\n",     "#sENDER=",
        "$sENDER",  "#mESSAGE=",   "$mESSAGE",  "#lEVEL=",   "$lEVEL",  "#lOGIC="};
    std::mt19937 random(20240611);
    auto pick = [&random](int n) {
        return static_cast<int>(random() % static_cast<unsigned>(n));
    };
    int found = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int pieces = pick(24);
        for (int i = 0; i < pieces; ++i) {
            const std::string &marker = markers[pick(13)];
            switch (pick(5)) {
            case 0:
                text += marker;
                break;
            case 1:
                text += marker.substr(0, pick(static_cast<int>(marker.size())));
                break;
            case 2:
                text += static_cast<char>(pick(2) ? 0x81 + pick(31) : 0xE0 + pick(29));
                break;
            case 3:
                text += static_cast<char>(0x40 + pick(0xC0));
                break;
            default:
                text += "2\r\n "[pick(4)];
                break;
            }
        }
        std::vector<std::size_t> boundaries;
        for (std::size_t i = 0; i <= text.size(); i += i < text.size() && IsLead(text[i]) ? 2 : 1) {
            boundaries.push_back(i);
        }
        for (const std::string &marker : markers) {
            const std::size_t from = boundaries[pick(static_cast<int>(boundaries.size()))];
            for (std::size_t start : {std::size_t {0}, from}) {
                const std::size_t expected = ReferenceFind(text, marker, start);
                ASSERT_EQ(FindAlarmMarker(text, marker, start), expected)
                    << ::testing::PrintToString(text) << " marker " << ::testing::PrintToString(marker);
                found += expected != npos;
            }
        }
    }
    // The generator must produce real matches, or the comparison proves little.
    EXPECT_GT(found, 10000);
}

} // namespace
} // namespace belvane
