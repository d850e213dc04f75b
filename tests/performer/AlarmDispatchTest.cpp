#include "AlarmDispatch.h"
#include "ActionListFile.h"
#include "ActionPerformer.h"
#include "FakeServices.h"
#include "StorageTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace belvane {
namespace {

using Log = std::vector<std::string>;
namespace fs = std::filesystem;

class AlarmDispatchTest : public ::testing::Test, public testing::PerformerBench
{
protected:
    void writeList(std::int32_t count, const std::map<std::int32_t, std::pair<int, std::string>> &actions)
    {
        testing::writeList(listPath, count, [&](int level, ActionRecord &record) {
            if (const auto action = actions.find(level); action != actions.end()) {
                record.enabled = action->second.first;
                record.windowSize = level % 3; // levels 0 to 2 cover the three window sizes
                setFieldText(record.actionFile, action->second.second);
                setFieldText(record.parameters, "--loud");
            }
        });
    }
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
    static std::string alarm(const std::string &level)
    {
        return "#Sender=PC1\n#Message=Lunch\n#Level=" + level + "\n";
    }
    std::string launched(const std::string &file, int show)
    {
        return "open " + file + " [--loud] " + std::to_string(show);
    }

    testing::TempDir dir;
    std::string listPath = dir.file("Belvane.acd");
    std::string program = dir.file("prog");
};

TEST_F(AlarmDispatchTest, PerformsOnlyAnEnabledRecordInsideTheListWhoseFileExists)
{
    testing::writeFile(program, "");
    testing::writeFile(dir.file("bell.WAV"), "");
    writeList(50,
              {{0, {1, program}},
               {1, {1, dir.file("bell.WAV")}},
               {3, {1, program}},
               {4, {0, program}},
               {5, {2, program}},
               {6, {1, dir.file("missing")}},
               {7, {1, dir.path()}},
               {8, {1, program + "\x81"}}, // not cp932: decoding leniently would name "prog"
               {49, {1, program}}});
    const struct
    {
        std::string text;
        Log log;
    } cases[] = {
        {alarm("3"), {"PC1|Lunch|3", launched(program, 5)}},
        {"#lOGIC=2$lOGIC#mESSAGE=Lunch$mESSAGE#lEVEL= $lEVEL#sENDER=PC1$sENDER",
         {"PC1|Lunch|0", launched(program, 5)}},
        {alarm("1"), {"PC1|Lunch|1", "wave play " + dir.file("bell.WAV")}},
        {alarm("49"), {"PC1|Lunch|49", launched(program, 6)}}, // the wave plays on while a program starts
        {alarm("7"), {"PC1|Lunch|7", launched(dir.path(), 6)}}, // a folder counts as existing
        {alarm("4"), {"PC1|Lunch|4"}}, // disabled
        {alarm("5"), {"PC1|Lunch|5"}}, // enabled is 1 and nothing else
        {alarm("6"), {"PC1|Lunch|6"}}, // file missing
        {alarm("8"), {"PC1|Lunch|8"}}, // a name that is not cp932 names no file
        {alarm("2"), {"PC1|Lunch|2"}}, // blank record
        {alarm("50"), {"PC1|Lunch|50"}}, // past the list
        {"#lOGIC=2$lOGIC" + alarm("3"), {"||-1"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(dispatch(c.text), c.log);
    }
    EXPECT_EQ(performer.currentKind, ".WAV");
}

TEST_F(AlarmDispatchTest, ListThatCannotBeUsedStillShowsTheAlarm)
{
    testing::writeFile(program, "");
    const Log shownOnly {"PC1|Lunch|3"};
    EXPECT_EQ(dispatch(""), Log {}); // nothing at all: no list is created
    EXPECT_FALSE(fs::exists(listPath));

    EXPECT_EQ(dispatch(alarm("3")), shownOnly); // missing: created blank
    EXPECT_EQ(fs::file_size(listPath), 24u + 20 * 896);

    writeList(5, {{3, {1, program}}});
    {
        const testing::FileHolder holder(listPath); // another use (the settings dialog) holds it
        EXPECT_EQ(dispatch(alarm("3")), shownOnly);
    }
    EXPECT_EQ(dispatch(alarm("3")), (Log {"PC1|Lunch|3", launched(program, 5)}));
}

} // namespace
} // namespace belvane
