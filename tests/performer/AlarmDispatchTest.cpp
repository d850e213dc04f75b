#include "AlarmDispatch.h"
#include "FakeServices.h"
#include "StorageTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace belvane {
namespace {

using Log = std::vector<std::string>;

TEST(AlarmDispatchTest, PerformsOnlyAnEnabledRecordInsideTheListWhoseFileExistsAndCreatesAMissingList)
{
    testing::PerformerBench b;
    testing::TempDir dir;
    const std::string list = dir.file("Belvane.acd"), program = dir.file("prog"), bell = dir.file("bell.WAV");
    const auto alarm = [](int level) {
        return "#Sender=PC1\n#Message=Lunch\n#Level=" + std::to_string(level) + "\n";
    };
    // The calls one dispatch of `text` makes, the window's "show" first.
    const auto dispatch = [&](std::string text) {
        DispatchAlarm(text, list, b.performer, 9, [&](const AlarmMessage &m) {
            b.journal.calls.push_back(m.sender + "|" + m.message + "|" + std::to_string(m.level));
        });
        EXPECT_EQ(text, "");
        return std::exchange(b.journal.calls, {});
    };
    EXPECT_EQ(dispatch(""), Log {});
    EXPECT_FALSE(std::filesystem::exists(list));
    EXPECT_EQ(dispatch(alarm(3)),
              Log {"PC1|Lunch|3"}); // a missing list is created blank, the alarm still shown
    EXPECT_EQ(testing::readFile(list), testing::listBytes(1, 20, testing::blanks(20)));

    testing::writeFile(program, "");
    testing::writeFile(bell, "");
    const std::map<int, std::pair<int, std::string>> actions = {
        {0, {1, program}},    {1, {1, bell}},
        {3, {1, program}},    {4, {0, program}},
        {5, {2, program}},    {6, {1, dir.file("missing")}},
        {7, {1, dir.path()}}, {8, {1, program + "\x81"}}, // not cp932: decoding leniently would name "prog"
        {49, {1, program}}};
    testing::writeList(list, 50, [&](int level, ActionRecord &record) {
        if (const auto action = actions.find(level); action != actions.end()) {
            record.enabled = action->second.first;
            record.windowSize = level % 3;
            setFieldText(record.actionFile, action->second.second);
            setFieldText(record.parameters, "--loud");
        }
    });
    const std::pair<std::string, Log> cases[] = {
        {alarm(3), {"PC1|Lunch|3", "open " + program + " [--loud] 5"}},
        {"#lOGIC=2$lOGIC#mESSAGE=Lunch$mESSAGE#lEVEL= $lEVEL#sENDER=PC1$sENDER",
         {"PC1|Lunch|0", "open " + program + " [--loud] 5"}},
        {alarm(1), {"PC1|Lunch|1", "wave play " + bell}},
        // The wave plays on while a program starts.
        {alarm(49), {"PC1|Lunch|49", "open " + program + " [--loud] 6"}},
        {alarm(4), {"PC1|Lunch|4"}}, // disabled
        {alarm(5), {"PC1|Lunch|5"}}, // enabled is 1 and nothing else
        {alarm(6), {"PC1|Lunch|6"}}, // file missing
        {alarm(8), {"PC1|Lunch|8"}}, // a name that is not cp932 names no file
        {alarm(2), {"PC1|Lunch|2"}}, // blank record
        {alarm(50), {"PC1|Lunch|50"}}, // past the list
        // A folder counts as existing.
        {alarm(7), {"PC1|Lunch|7", "open " + dir.path().string() + " [--loud] 6"}},
    };
    for (const auto &[text, log] : cases) {
        EXPECT_EQ(dispatch(text), log) << text;
    }
    EXPECT_EQ(b.launcher.parent, 9);
    EXPECT_EQ(b.performer.currentKind, ".WAV");
}

} // namespace
} // namespace belvane
