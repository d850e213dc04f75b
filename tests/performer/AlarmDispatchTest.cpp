#include "AlarmDispatch.h"
#include "ActionListFile.h"
#include "RecordingServices.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace belvane {
namespace {

using Log = std::vector<std::string>;

ActionRecord action(std::int32_t enabled, const std::string &file, std::int32_t windowSize = 0)
{
    ActionRecord record;
    record.enabled = enabled;
    record.windowSize = windowSize;
    setFieldText(record.actionFile, file);
    setFieldText(record.parameters, "--loud");
    return record;
}

class AlarmDispatchTest : public ::testing::Test
{
protected:
    void writeList(std::int32_t count, const std::map<std::int32_t, ActionRecord> &records)
    {
        std::filesystem::remove(listPath);
        ActionListFile list;
        ASSERT_EQ(list.OpenOrCreate(count, listPath), count);
        ASSERT_EQ(list.BeginWrite(), count);
        for (const auto &[level, record] : records) {
            ASSERT_EQ(list.WriteRecord(level, record), 896);
        }
        list.Close();
    }
    Log dispatch(std::string text)
    {
        DispatchAlarm(text, listPath, services.performer, 9, [this](const AlarmMessage &message) {
            services.log.push_back("show " + message.sender + "|" + message.message + "|"
                                   + std::to_string(message.level));
        });
        EXPECT_EQ(text, "");
        return std::exchange(services.log, {});
    }
    static std::string lineText(const std::string &level)
    {
        return "#Sender=PC1\n#Message=Lunch\n#Level=" + level + "\n";
    }

    testing::TempDir dir;
    std::string listPath = dir.file("Belvane.acd");
    std::string program = dir.file("prog");
    testing::RecordingServices services;
};

TEST_F(AlarmDispatchTest, PerformsOnlyAnEnabledRecordInsideTheListWhoseFileExists)
{
    testing::writeFile(program, "");
    writeList(50,
              {{0, action(1, program, 2)},
               {3, action(1, program, 1)},
               {4, action(0, program)},
               {5, action(2, program)},
               {6, action(1, dir.file("missing"))},
               {7, action(1, dir.path().string())},
               {49, action(1, program)}});
    const std::string shown = "show PC1|Lunch|";
    const struct
    {
        std::string text;
        Log log;
    } cases[] = {
        {lineText("3"), {shown + "3", "launch 9 " + program + " [--loud] 6"}},
        {"#lOGIC=2$lOGIC#mESSAGE=Lunch$mESSAGE#lEVEL= $lEVEL#sENDER=PC1$sENDER",
         {shown + "0", "launch 9 " + program + " [--loud] 3"}},
        {lineText("49"), {shown + "49", "launch 9 " + program + " [--loud] 5"}},
        {lineText("7"), {shown + "7", "launch 9 " + dir.path().string() + " [--loud] 5"}}, // a folder counts
        {lineText("4"), {shown + "4"}}, // disabled
        {lineText("5"), {shown + "5"}}, // enabled is 1 only
        {lineText("6"), {shown + "6"}}, // file missing
        {lineText("1"), {shown + "1"}}, // blank record: disabled, no file
        {lineText("50"), {shown + "50"}},
        {lineText("-1"), {shown + "-1"}},
        {"#Sender=PC1\n#Message=Lunch\n#Level=3", {shown + "-1"}}, // the level needs its line feed
        {"#lOGIC=2$lOGIC#Sender=PC1\n#Message=Lunch\n#Level=3\n", {"show ||-1"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(dispatch(c.text), c.log);
    }
}

TEST_F(AlarmDispatchTest, ListThatCannotBeUsedShowsAndPerformsNothing)
{
    testing::writeFile(program, "");
    const std::string shown = "show PC1|Lunch|3";

    // Missing: created blank with the default count, so even level 19 finds a (blank) record.
    EXPECT_EQ(dispatch(lineText("3")), Log {shown});
    ActionListFile created;
    EXPECT_EQ(created.OpenOrCreate(0, listPath), 20);
    EXPECT_EQ(std::filesystem::file_size(listPath), 24u + 20 * 896);

    // Held by another use (the settings dialog writing it): no count, no action.
    writeList(5, {{3, action(1, program)}});
    ActionListFile writer;
    writer.OpenOrCreate(0, listPath);
    ASSERT_EQ(writer.BeginWrite(), 5);
    EXPECT_EQ(dispatch(lineText("3")), Log {shown});
    writer.Close();
    EXPECT_EQ(dispatch(lineText("3")), (Log {shown, "launch 9 " + program + " [--loud] 5"}));

    // Cut short inside record 3: it does not read whole.
    std::filesystem::resize_file(listPath, 24 + 3 * 896 + 500);
    EXPECT_EQ(dispatch(lineText("3")), Log {shown});

    // Wrong signature: count 0.
    testing::writeFile(listPath, std::string(24 + 5 * 896, 'x'));
    EXPECT_EQ(dispatch(lineText("3")), Log {shown});
}

TEST_F(AlarmDispatchTest, EmptyTextDoesNothingAtAll)
{
    EXPECT_EQ(dispatch(""), Log {});
    EXPECT_FALSE(std::filesystem::exists(listPath));
}

TEST_F(AlarmDispatchTest, SoundKeepsPlayingWhileAProgramStarts)
{
    testing::writeFile(program, "");
    testing::writeFile(dir.file("bell.WAV"), "");
    writeList(3, {{1, action(1, dir.file("bell.WAV"))}, {2, action(1, program)}});
    EXPECT_EQ(dispatch(lineText("1")), (Log {"show PC1|Lunch|1", "wave " + dir.file("bell.WAV")}));
    EXPECT_EQ(dispatch(lineText("2")), (Log {"show PC1|Lunch|2", "launch 9 " + program + " [--loud] 5"}));
    EXPECT_EQ(services.performer.currentKind, ".WAV");
}

} // namespace
} // namespace belvane
