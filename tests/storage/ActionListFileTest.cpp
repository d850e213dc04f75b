#include "ActionListFile.h"
#include "StorageTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace belvane {
namespace {

using namespace testing;
namespace fs = std::filesystem;
constexpr std::int32_t whole = 896;

TEST(ActionListFileTest, CreatesListOfRequestedOrDefaultCountWholeOrNotAtAll)
{
    // A file-size limit stops the writing as a full disk would; a fifty-record list takes 44824 bytes.
    const std::tuple<std::int32_t, rlim_t, std::int32_t> cases[] = {
        {50, 44824, 50}, {0, 0, 20}, {-1, 0, 0}, {50, 44823, 0}};
    for (const auto &[requested, limit, count] : cases) {
        TempDir dir;
        const std::string path = dir.file(ActionListFile::fileName);
        EXPECT_EQ(exitUnderSizeLimit(limit, [&]() { return ActionListFile().OpenOrCreate(requested, path); }),
                  count);
        EXPECT_EQ(readFile(path), count != 0 ? listBytes(1, count, blanks(count)) : "") << limit;
        // An existing list keeps its count; a missing one (none was left behind) is made as asked.
        EXPECT_EQ(ActionListFile().OpenOrCreate(7, path), count != 0 ? count : 7);
    }
}

TEST(ActionListFileTest, ExclusivePassesUseFixedRecordOffsetsAndACutListReadsShort)
{
    // Every field filled with its own byte shows the layout; a NUL inside a text keeps what follows it.
    ActionRecord full {.enabled = 2, .windowSize = -1};
    full.reserved.fill('r');
    full.name.fill('n');
    full.actionFile.fill('a');
    full.actionFile[10] = '\0';
    full.parameters.fill('p');
    full.workFolder.fill('w');
    const std::string image = le32(2) + le32(-1) + std::string(56, 'r') + std::string(64, 'n')
        + std::string(10, 'a') + '\0' + std::string(245, 'a') + std::string(256, 'p') + std::string(256, 'w');

    TempDir dir;
    const std::string path = dir.file(ActionListFile::fileName);
    ActionListFile other;
    ActionRecord read;
    std::string records;
    {
        ActionListFile writer; // let go of by its destructor, without Close
        ASSERT_EQ(writer.OpenOrCreate(50, path), 50);
        ASSERT_EQ(other.OpenOrCreate(0, path), 50);
        ASSERT_EQ(writer.BeginWrite(), 50);
        // Every open takes its own hold, so another object stands for another process too.
        EXPECT_EQ(ActionListFile().OpenOrCreate(0, path), 0);
        EXPECT_EQ(other.FetchRecord(0, read), -1);
        EXPECT_EQ(writer.BeginRead(), -4) << "a second pass while one is open";
        for (int i = 0; i < 50; ++i) {
            ASSERT_EQ(writer.WriteRecord(-1, i % 2 ? full : ActionRecord {}), whole) << i;
            records += i % 2 ? image : blanks(1);
        }
        EXPECT_EQ(writer.WriteRecord(-1, full), 0);
    }
    EXPECT_EQ(readFile(path), listBytes(1, 50, records));
    ASSERT_EQ(other.BeginRead(), 50);
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(other.ReadRecord(-1, read), whole);
        EXPECT_EQ(read, i % 2 ? full : ActionRecord {}) << i;
    }
    EXPECT_EQ(other.ReadRecord(50, read), -2);
    other.Close();
    EXPECT_EQ(other.FetchRecord(50, read), -2);

    // Cut inside record 3: its first 100 bytes are left, the missing ones read as zeros, and record 4
    // reads nothing.
    fs::resize_file(path, 24 + 3 * whole + 100);
    const std::string cut = image.substr(0, 100) + std::string(whole - 100, '\0');
    EXPECT_EQ(other.FetchRecord(3, read), 100);
    EXPECT_EQ(read, ActionRecord::fromBytes(reinterpret_cast<const unsigned char *>(cut.data())));
    EXPECT_EQ(other.FetchRecord(4, read), 0);
    EXPECT_EQ(read, ActionRecord {});
}

TEST(ActionListFileTest, OpensOnlyWhatItCanUseAndLeavesTheFolderAlone)
{
    // A file found at the list's place, the path asked for, then what OpenOrCreate and BeginRead return.
    // Only the header's first nine bytes count. The default list never replaces an existing file, and a
    // create that fails leaves nothing behind.
    const std::tuple<std::string, std::string, std::int32_t, std::int32_t> cases[] = {
        {"ZidovuZu!garbage" + le32(1) + le32(2) + blanks(2), "/Belvane.acd", 2, 2},
        {listBytes(7, 2, blanks(2)), "/Belvane.acd", 2, 2},
        {listBytes(0, 2, blanks(2)), "/Belvane.acd", 2, -3},
        {"ZidovuZu?" + listBytes(1, 2, blanks(2)).substr(9), "/Belvane.acd", 0, -3},
        {listBytes(1, 2, "").substr(0, 23), "/Belvane.acd", 0, -3},
        {"", "/missing/Belvane.acd", 0, -3},
        {"", std::string("/Belvane.acd\0.bak", 17), 0, -3},
        {"", "/sub", 0, -3},
        {"", "/pipe", 0, -3}}; // an open waiting for a FIFO's writer would hang
    alarm(30);
    for (const auto &[content, relative, opened, beginRead] : cases) {
        SCOPED_TRACE(relative + std::to_string(content.size()));
        TempDir dir;
        fs::create_directory(dir.path() / "sub");
        ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
        content.empty() ? void() : writeFile(dir.file(ActionListFile::fileName), content);
        ActionListFile list;
        EXPECT_EQ(list.OpenOrCreate(0, dir.path().string() + relative), opened);
        EXPECT_EQ(list.BeginRead(), beginRead);
        ActionListFile().CreateDefault(dir.path().string() + relative, "/opt/belvane/");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), content.empty() ? 2 : 3);
        EXPECT_EQ(readFile(dir.file(ActionListFile::fileName)), content);
    }
    alarm(0);
}

TEST(ActionListFileTest, DefaultListPlaysTheTwoAlarmSounds)
{
    const auto entry = [](const std::string &folder, const std::string &sound) {
        const std::string file = folder + sound;
        return le32(1) + std::string(60, '\0') + sound + std::string(64 - sound.size(), '\0') + file
            + std::string(256 - file.size() + 512, '\0');
    };
    // The folder and the sound's name must fit the 255 bytes of the file field together; a folder with
    // no cp932 name comes as an empty text and leaves both levels blank.
    const std::string fits = "/" + std::string(243, 'x') + "/";
    const std::string sounds = entry(fits, "Malarm.wav") + entry(fits, "Salarm.wav");
    for (const std::string &folder : {fits, "/" + std::string(244, 'x') + "/", std::string()}) {
        TempDir dir;
        const std::string path = dir.file(ActionListFile::fileName);
        ActionListFile().CreateDefault(path, folder);
        EXPECT_EQ(readFile(path), listBytes(1, 50, (folder == fits ? sounds : blanks(2)) + blanks(48)))
            << folder.size();
    }
}

} // namespace
} // namespace belvane
