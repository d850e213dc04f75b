#include "ActionListFile.h"
#include "StorageTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace belvane {
namespace {

using testing::blanks;
using testing::le32;
using testing::listBytes;
constexpr std::int32_t whole = 896;

TEST(ActionListFileTest, CreatesListOfRequestedOrDefaultCount)
{
    for (const auto &[requested, expected] : {std::pair {50, 50}, {0, 20}}) {
        testing::TempDir dir;
        const std::string path = dir.file(ActionListFile::fileName);
        ASSERT_EQ(ActionListFile().OpenOrCreate(requested, path), expected);
        EXPECT_EQ(testing::readFile(path), listBytes(1, expected, blanks(expected))) << requested;
        EXPECT_EQ(ActionListFile().OpenOrCreate(7, path), expected) << "an existing list keeps its count";
    }
}

TEST(ActionListFileTest, SequentialPassesWriteAndReadRecordsAtFixedOffsets)
{
    // Every field filled with its own byte shows the layout; a NUL inside a text keeps what follows it.
    ActionRecord full;
    full.enabled = 2;
    full.windowSize = -1;
    full.reserved.fill('r');
    full.name.fill('n');
    full.actionFile.fill('a');
    full.actionFile[10] = '\0';
    full.parameters.fill('p');
    full.workFolder.fill('w');
    const std::string image = le32(2) + le32(-1) + std::string(56, 'r') + std::string(64, 'n')
        + std::string(10, 'a') + '\0' + std::string(245, 'a') + std::string(256, 'p') + std::string(256, 'w');

    testing::TempDir dir;
    const std::string path = dir.file(ActionListFile::fileName);
    ActionListFile list;
    ASSERT_EQ(list.OpenOrCreate(50, path), 50);
    ASSERT_EQ(list.BeginWrite(), 50);
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(list.WriteRecord(-1, i % 2 ? full : ActionRecord {}), whole) << i;
    }
    EXPECT_EQ(list.WriteRecord(-1, full), 0);
    EXPECT_EQ(list.Close(), 0);

    std::string records;
    for (int i = 0; i < 50; ++i) {
        records += i % 2 ? image : blanks(1);
    }
    EXPECT_EQ(testing::readFile(path), listBytes(1, 50, records));
    ASSERT_EQ(list.BeginRead(), 50);
    ActionRecord read;
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(list.ReadRecord(-1, read), whole);
        EXPECT_EQ(read, i % 2 ? full : ActionRecord {}) << i;
    }
    EXPECT_EQ(list.ReadRecord(-1, read), 0);
    EXPECT_EQ(list.BeginRead(), -4) << "a second pass while one is open";
    for (const std::int32_t outside : {-2, 50}) {
        EXPECT_EQ(list.ReadRecord(outside, read), -2) << outside;
        EXPECT_EQ(list.FetchRecord(outside == -2 ? -1 : outside, read), -2) << outside;
    }
    EXPECT_EQ(list.Close(), 0);
    ASSERT_EQ(list.FetchRecord(49, read), whole);
    EXPECT_EQ(read, full);
}

TEST(ActionListFileTest, ListCutShortReadsLaterRecordsShort)
{
    const std::string filled(whole, '\x11');
    for (const std::int32_t tail : {0, 100}) {
        SCOPED_TRACE(tail);
        const std::int32_t results[] = {whole, whole, tail, 0};
        testing::TempDir dir;
        const std::string path = dir.file(ActionListFile::fileName);
        testing::writeFile(path, listBytes(1, 50, filled + filled + filled.substr(0, tail)));
        ActionListFile list;
        ASSERT_EQ(list.OpenOrCreate(0, path), 50);
        ASSERT_EQ(list.BeginRead(), 50);
        ActionRecord record;
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(list.ReadRecord(-1, record), results[i]) << i;
        }
        list.Close();
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(list.FetchRecord(i, record), results[i]) << i;
        }
        list.FetchRecord(2, record);
        const std::string expected = filled.substr(0, tail) + std::string(whole - tail, '\0');
        EXPECT_EQ(record, ActionRecord::fromBytes(reinterpret_cast<const unsigned char *>(expected.data())));
    }
}

TEST(ActionListFileTest, HeaderDecidesWhetherListOpensAndTheFileIsLeftAlone)
{
    const struct
    {
        std::string content;
        std::int32_t opened, beginRead;
    } cases[] = {
        {"ZidovuZu!garbage" + le32(1) + le32(2) + blanks(2), 2, 2}, // only the first nine bytes count
        {listBytes(7, 2, blanks(2)), 2, 2},
        {listBytes(0, 2, blanks(2)), 2, -3},
        {listBytes(1, 0, ""), 0, 0},
        {"ZidovuZu?" + listBytes(1, 2, blanks(2)).substr(9), 0, -3},
        {listBytes(1, 2, "").substr(0, 23), 0, -3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.content.size());
        testing::TempDir dir;
        const std::string path = dir.file(ActionListFile::fileName);
        testing::writeFile(path, c.content);
        ActionListFile list;
        EXPECT_EQ(list.OpenOrCreate(50, path), c.opened);
        EXPECT_EQ(list.BeginRead(), c.beginRead);
        list.Close();
        EXPECT_EQ(testing::readFile(path), c.content);
    }
}

TEST(ActionListFileTest, RefusesWhatItCannotUseAndLeavesNothingBehind)
{
    const std::pair<std::string, std::int32_t> cases[] = {
        {"/missing/Belvane.acd", 0},
        {std::string("/Belvane.acd\0.bak", 17), 0},
        {"/sub", 0},
        {"/pipe", 0}, // an open waiting for a FIFO's writer would hang
        {"/Belvane.acd", -1},
    };
    alarm(30);
    for (const auto &[relative, requested] : cases) {
        SCOPED_TRACE(relative + std::to_string(requested));
        testing::TempDir dir;
        std::filesystem::create_directory(dir.path() / "sub");
        ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
        ActionListFile list;
        EXPECT_EQ(list.OpenOrCreate(requested, dir.path().string() + relative), 0);
        EXPECT_EQ(list.BeginRead(), -3);
        if (requested == 0) {
            list.CreateDefault(dir.path().string() + relative, "/opt/belvane/");
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
    }
    alarm(0);
}

TEST(ActionListFileTest, ListThatCannotBeWrittenWholeIsNotLeftBehind)
{
    for (const auto &[limit, expected] : {std::pair {44824, 50}, {44823, 0}}) {
        testing::TempDir dir;
        const std::string path = dir.file(ActionListFile::fileName);
        EXPECT_EQ(
            testing::exitUnderSizeLimit(limit, [&]() { return ActionListFile().OpenOrCreate(50, path); }),
            expected)
            << limit;
        EXPECT_EQ(std::filesystem::exists(path), expected != 0);
    }
}

TEST(ActionListFileTest, OpensAreExclusive)
{
    testing::TempDir dir;
    const std::string path = dir.file(ActionListFile::fileName);
    ActionListFile opened;
    ASSERT_EQ(opened.OpenOrCreate(50, path), 50);
    ActionRecord record;
    {
        // Every open takes its own hold, so another object stands for another process too.
        ActionListFile holder;
        ASSERT_EQ(holder.OpenOrCreate(0, path), 50);
        ASSERT_EQ(holder.BeginWrite(), 50);
        EXPECT_EQ(ActionListFile().OpenOrCreate(0, path), 0);
        EXPECT_EQ(opened.FetchRecord(0, record), -1);
        EXPECT_EQ(opened.BeginRead(), -1);
        EXPECT_EQ(opened.BeginWrite(), -1);
        EXPECT_EQ(opened.Close(), 1);
    } // the holder's destructor lets go of the list without Close
    EXPECT_EQ(opened.FetchRecord(0, record), whole);
}

TEST(ActionListFileTest, DefaultListPlaysTheTwoAlarmSounds)
{
    const auto entry = [](const std::string &folder, const std::string &sound) {
        std::string name = sound, file = folder + sound;
        name.resize(64, '\0');
        file.resize(256, '\0');
        return le32(1) + le32(0) + std::string(56, '\0') + name + file + std::string(512, '\0');
    };
    // The folder and the sound's name must fit the 255 bytes of the file field together; a folder with
    // no cp932 name comes as an empty text and leaves both levels blank.
    const std::string fits = "/" + std::string(243, 'x') + "/";
    for (const std::string &folder : {fits, "/" + std::string(244, 'x') + "/", std::string()}) {
        SCOPED_TRACE(folder.size());
        testing::TempDir dir;
        const std::string path = dir.file(ActionListFile::fileName);
        ActionListFile().CreateDefault(path, folder);
        const std::string first =
            folder == fits ? entry(folder, "Malarm.wav") + entry(folder, "Salarm.wav") : blanks(2);
        EXPECT_EQ(testing::readFile(path), listBytes(1, 50, first + blanks(48)));
    }
}

} // namespace
} // namespace belvane
