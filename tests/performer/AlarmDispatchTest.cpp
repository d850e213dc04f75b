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

struct AlarmDispatchTest : ::testing::Test, testing::PerformerBench
{
    // The calls one dispatch of `text` makes, the window's "show" first.
    Log dispatch(std::string text)
    {
        DispatchAlarm(text, listPath, performer, 9, [this](const AlarmMessage &message) {
            journal.calls.push_back(message.sender + "|" + message.message + "|"
                                    + std::to_string(message.level));
        });
        EXPECT_EQ(text, "");
        if (!journal.calls.empty() && journal.calls.back().starts_with("open ")) {
            EXPECT_EQ(std::exchange(launcher.parent, 0), 9);
        }
        return std::exchange(journal.calls, {});
    }
    static std::string alarm(int level)
    {
        return "#Sender=PC1\n#Message=Lunch\n#Level=" + std::to_string(level) + "\n";
    }
    static std::string shown(int level) { return "PC1|Lunch|" + std::to_string(level); }

    testing::TempDir dir;
    std::string listPath = dir.file("Belvane.acd");
    std::string program = dir.file("prog");
};

TEST_F(AlarmDispatchTest, PerformsOnlyAnEnabledRecordInsideTheListWhoseFileExists)
{
    testing::writeFile(program, "");
    testing::writeFile(dir.file("bell.WAV"), "");
    const std::map<int, std::pair<int, std::string>> actions = {
        {0, {1, program}},    {1, {1, dir.file("bell.WAV")}},
        {3, {1, program}},    {4, {0, program}},
        {5, {2, program}},    {6, {1, dir.file("missing")}},
        {7, {1, dir.path()}}, {8, {1, program + "\x81"}}, // not cp932: decoding leniently would name "prog"
        {49, {1, program}}};
    testing::writeList(listPath, 50, [&](int level, ActionRecord &record) {
        if (const auto action = actions.find(level); action != actions.end()) {
            record.enabled = action->second.first;
            record.windowSize = level % 3; // levels 0 to 2 cover the three window sizes
            setFieldText(record.actionFile, action->second.second);
            setFieldText(record.parameters, "--loud");
        }
    });
    const auto launched = [](const std::string &file, int show) {
        return "open " + file + " [--loud] " + std::to_string(show);
    };
    const std::pair<std::string, Log> cases[] = {
        {alarm(3), {shown(3), launched(program, 5)}},
        {"#lOGIC=2$lOGIC#mESSAGE=Lunch$mESSAGE#lEVEL= $lEVEL#sENDER=PC1$sENDER",
         {shown(0), launched(program, 5)}},
        {alarm(1), {shown(1), "wave play " + dir.file("bell.WAV")}},
        {alarm(49), {shown(49), launched(program, 6)}}, // the wave plays on while a program starts
        {alarm(7), {shown(7), launched(dir.path(), 6)}}, // a folder counts as existing
        {alarm(4), {shown(4)}}, // disabled
        {alarm(5), {shown(5)}}, // enabled is 1 and nothing else
        {alarm(6), {shown(6)}}, // file missing
        {alarm(8), {shown(8)}}, // a name that is not cp932 names no file
        {alarm(2), {shown(2)}}, // blank record
        {alarm(50), {shown(50)}}, // past the list
        {"#lOGIC=2$lOGIC" + alarm(3), {"||-1"}},
    };
    for (const auto &[text, log] : cases) {
        EXPECT_EQ(dispatch(text), log) << text;
    }
    EXPECT_EQ(performer.currentKind, ".WAV");
}

TEST_F(AlarmDispatchTest, NoTextDoesNothingAndAMissingListIsCreatedBlankWithTheAlarmStillShown)
{
    EXPECT_EQ(dispatch(""), Log {});
    EXPECT_FALSE(std::filesystem::exists(listPath));
    EXPECT_EQ(dispatch(alarm(3)), Log {shown(3)});
    EXPECT_EQ(testing::readFile(listPath), testing::listBytes(1, 20, testing::blanks(20)));
}

} // namespace
} // namespace belvane
