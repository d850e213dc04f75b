// The storage layer on real files in a temporary folder: the action list file, its listing and copies,
// and the settings file, with holds, cut-short files and size limits standing in for a full disk.
#include "ActionListFile.h"
#include "ActionListTransfer.h"
#include "PosixFile.h"
#include "SettingsFile.h"
#include "StorageTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/syscall.h>

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
        SCOPED_TRACE(::testing::Message() << requested << " records asked for, size limit " << limit);
        TempDir dir;
        const std::string path = dir.file(ActionListFile::fileName);
        EXPECT_EQ(
            exitUnderSizeLimit(limit, [&, n = requested] { return ActionListFile().OpenOrCreate(n, path); }),
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
    std::string records;
    writeList(path, 50, [&](int i, ActionRecord &record) {
        record = i % 2 ? full : ActionRecord {};
        records += i % 2 ? image : blanks(1);
    });
    EXPECT_EQ(readFile(path), listBytes(1, 50, records));
    ActionListFile other;
    ActionRecord read;
    ASSERT_EQ(other.OpenOrCreate(0, path), 50);
    {
        ActionListFile reader; // let go of by its destructor, without Close
        ASSERT_EQ(reader.OpenOrCreate(0, path), 50);
        ASSERT_EQ(reader.BeginRead(), 50);
        // Every open takes its own hold, so another object stands for another process too.
        EXPECT_EQ(ActionListFile().OpenOrCreate(0, path), 0);
        EXPECT_EQ(other.FetchRecord(0, read), -1);
        EXPECT_EQ(reader.BeginWrite(), -4) << "a second pass while one is open";
        for (int i = 0; i < 50; ++i) {
            ASSERT_EQ(reader.ReadRecord(-1, read), whole);
            EXPECT_EQ(read, i % 2 ? full : ActionRecord {}) << i;
        }
        EXPECT_EQ(reader.ReadRecord(-1, read), 0) << "past the last record";
        EXPECT_EQ(reader.ReadRecord(50, read), -2);
    }
    ASSERT_EQ(other.BeginWrite(), 50);
    EXPECT_EQ(other.WriteRecord(49, full), whole);
    EXPECT_EQ(other.WriteRecord(-1, full), 0) << "nothing is written past the last record";
    other.Close();
    EXPECT_EQ(readFile(path), listBytes(1, 50, records));
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
        {listBytes(0, 2, blanks(2)), "/Belvane.acd", 2, -3},
        {"ZidovuZu?" + listBytes(1, 2, blanks(2)).substr(9), "/Belvane.acd", 0, -3},
        {listBytes(1, 2, "").substr(0, 23), "/Belvane.acd", 0, -3},
        {"", "/missing/Belvane.acd", 0, -3},
        {"", std::string("/Belvane.acd\0.bak", 17), 0, -3},
        {"", "/pipe", 0, -3}}; // an open waiting for a FIFO's writer would hang
    alarm(30);
    for (const auto &[content, relative, opened, beginRead] : cases) {
        SCOPED_TRACE(relative + std::to_string(content.size()));
        TempDir dir;
        ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
        content.empty() ? void() : writeFile(dir.file(ActionListFile::fileName), content);
        ActionListFile list;
        EXPECT_EQ(list.OpenOrCreate(0, dir.path().string() + relative), opened);
        EXPECT_EQ(list.BeginRead(), beginRead);
        ActionListFile().CreateDefault(dir.path().string() + relative, "/opt/belvane/");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), content.empty() ? 1 : 2);
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

// The dialogs' list-command tests hold the rest: names of the in-use list by case and by link, a held
// list, a missing source, whole lists imported and exported, a listing of a list that does not open.
TEST(ActionListTransferTest, ListingShowsEnabledRecordsAndOnlyWholeListsAreListedImportedOrCopied)
{
    TempDir dir;
    const std::string list = dir.file("Belvane.acd"), text = dir.file("out.txt"), source = dir.file("in.acd");
    // Levels 9 to 12 are on with window sizes 0, 1, 2 and 5; level 13's enabled 2 is not on.
    writeList(list, 50, [](int i, ActionRecord &record) {
        record = {.enabled = i < 9 || i > 13 ? 0 : i == 13 ? 2 : 1, .windowSize = i == 12 ? 5 : i - 9};
        setFieldText(record.name, "a");
        setFieldText(record.actionFile, "f");
        setFieldText(record.parameters, "p");
        setFieldText(record.workFolder, "never listed");
    });
    EXPECT_EQ(writeListing(text, list), ListingOutcome::Written);
    EXPECT_EQ(readFile(text),
              listingHeading + "09\ta\tf\tp\t\x92\xCA\x8F\xED\r\n"
                  + "10\ta\tf\tp\t\x8D\xC5\x8F\xAC\x89\xBB\r\n" + "11\ta\tf\tp\t\x8D\xC5\x91\xE5\x89\xBB\r\n"
                  + "12\ta\tf\tp\t-\r\n");
    // Cut short by one byte: the old listing goes and none is written, for a list that cannot be read
    // whole must not pass for one with nothing on.
    const std::string cut = listBytes(1, 50, std::string(44799, '\0'));
    writeFile(list, cut);
    writeFile(text, "old listing");
    EXPECT_EQ(writeListing(text, list), ListingOutcome::ListUnusable);
    EXPECT_EQ(readFile(text), "");

    // A list of another count is not importable (one cut short: the list commands' test); the check
    // creates no missing list.
    writeFile(source, listBytes(1, 20, blanks(50)));
    EXPECT_FALSE(isImportableList(source));
    EXPECT_FALSE(isImportableList(dir.file("missing.acd")));
    // A full disk (a file-size limit) and a source shorter than required leave the target as it was.
    EXPECT_EQ(exitUnderSizeLimit(30000, [&]() { return copyReplacing(source, list) ? 0 : 1; }), 1);
    EXPECT_FALSE(copyReplacing(source, list, 44825));
    EXPECT_EQ(readFile(list), cut);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 3) << "no stray file, nothing created";

    // What replacements cut short left beside the list goes; one still held by its replacement, and a
    // name of another form, stay.
    for (const char *name : {".Belvane.acd.7-0-9", ".Belvane.acd.8-1-9", ".Belvane.acd.8-1-x"}) {
        writeFile(dir.file(name), "");
    }
    {
        const FileHolder holder(dir.file(".Belvane.acd.8-1-9"));
        posix::removeLeftoverSiblings(list);
    }
    EXPECT_FALSE(fs::exists(dir.file(".Belvane.acd.7-0-9")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 5) << "the other two stay";
}

// Replacements where the system answers as few do: no rename that refuses a taken name (a hard link
// stands in, and refuses a taken name too), a write that makes no progress (a full disk), a folder that
// does not sync; and a target that is a link to nothing, whose place the new file takes.
TEST(PosixFileTest, AReplacementIsWholeOrNotMadeWhereTheSystemAnswersAsFewDo)
{
    using enum posix::Replaced;
    const auto outcome = [](posix::Replaced replaced, int error = 0) {
        return static_cast<int>(replaced) + (error << 2);
    };
    // The call refused with an error, for the folder's descriptor only or for every file's; whether an
    // existing target is kept; the target's content before ("" for no file, "->" for a link to nothing);
    // outcome(): what replaceFile returned, and errno when it failed; the target's content after.
    const std::tuple<const char *, long, int, bool, bool, const char *, int, const char *> rows[] = {
        {"no renameat2", SYS_renameat2, EINVAL, false, true, "", outcome(Yes), "new"},
        {"no renameat2, a taken name", SYS_renameat2, EINVAL, false, true, "old", outcome(No, EEXIST), "old"},
        {"no progress", SYS_write, 0, false, false, "old", outcome(No, ENOSPC), "old"},
        {"no folder sync", SYS_fsync, EIO, true, false, "old", outcome(NotDurable), "new"},
        {"a link to nothing", -1, 0, false, false, "->", outcome(Yes), "new"},
    };
    for (const auto &[what, call, error, folderOnly, keepExisting, before, expected, after] : rows) {
        SCOPED_TRACE(what);
        TempDir dir;
        const std::string target = dir.file("target");
        if (std::string(before) == "->") {
            fs::create_symlink(dir.file("missing"), target);
        } else if (*before) {
            writeFile(target, before);
        }
        const int next = ::dup(0); // the sibling's descriptor; the folder's comes next
        ::close(next);
        const int replaced =
            exitWithCallRefused(call, error, folderOnly ? next + 1 : -1, [&, keep = keepExisting] {
                const posix::Replaced result = posix::replaceFile(
                    target, -1, [](int fd) { return posix::writeFully(fd, "new", 3); }, keep);
                return outcome(result, result == No ? errno : 0);
            });
        EXPECT_EQ(replaced, expected);
        EXPECT_EQ(readFile(target), after);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1) << "no stray file";
    }
}

// The file image of a record, with `reserved` over the start of its reserved bytes.
std::string settingsImage(const SettingsRecord &record, const std::string &reserved = {})
{
    const auto bytes = record.toBytes();
    return std::string(bytes.begin(), bytes.end()).replace(12, reserved.size(), reserved);
}

TEST(SettingsFileTest, LoadsOnlyExactRecordsAndSavesThemWholeOrLeavesTheOldFileAndSaysWhy)
{
    TempDir dir;
    const std::string path = dir.file(SettingsRecord::fileName), link = dir.file("link.cfg");
    EXPECT_EQ(FileSizeOf(dir.path().string()), 0u) << "not a regular file";
    const std::string odd = settingsImage({INT32_MIN, INT32_MAX, -1},
                                          std::string("by hand\0after nul", 17) + std::string(300, '\x81'));
    // The file's bytes, its size (a hole beyond the bytes), the size FileSizeOf tells, the record loaded.
    const std::tuple<std::string, std::uint64_t, std::uint32_t, std::string> cases[] = {
        {settingsImage({}).substr(1), 1035, 1035, settingsImage({})},
        {odd, 1036, 1036, odd},
        {"", (1ULL << 32) + 1036, 0xFFFFFFFF, settingsImage({})}};
    for (const auto &[bytes, size, told, loaded] : cases) {
        SCOPED_TRACE(::testing::Message() << "file of " << size << " bytes");
        writeFile(path, bytes);
        fs::resize_file(path, size);
        EXPECT_EQ(FileSizeOf(path), told);
        SettingsRecord record;
        EXPECT_TRUE(LoadSettings(path, record).ok);
        EXPECT_EQ(settingsImage(record), loaded) << told;
    }

    // A save replaces whatever was there, here a file too big to load, with the whole record.
    ASSERT_TRUE(SaveSettings(path, SettingsRecord {}).ok);
    EXPECT_EQ(readFile(path), std::string("\x34\0\0\0\x34\0\0\0\xB8\x26\0\0", 12) + std::string(1024, '\0'));

    // Through a link, to a file with bytes of its own in the reserved part and permissions of its own:
    // only the changed field changes, and the permissions stay but for a set-ID bit.
    writeFile(path, odd);
    fs::permissions(path, fs::perms(02640));
    fs::create_symlink(path, link);
    SettingsRecord record;
    ASSERT_TRUE(LoadSettings(link, record).ok);
    record.windowX = -1;
    ASSERT_TRUE(SaveSettings(link, record).ok);
    const std::string saved = le32(-1) + odd.substr(4);
    EXPECT_EQ(readFile(path), saved);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));

    using enum SettingsFileError;
    // A failed save names the cause and the file; the words for the user are the dialogs' business.
    const auto fails = [&](const std::string &at, SettingsFileError cause, rlim_t limit = 0) {
        SCOPED_TRACE(static_cast<int>(cause));
        const auto save = [&]() {
            const SettingsFileResult result = SaveSettings(at, SettingsRecord {});
            return !result.ok && result.cause == cause && result.path == at ? 0 : 1;
        };
        EXPECT_EQ(exitUnderSizeLimit(limit, save), 0);
        EXPECT_EQ(readFile(path), saved);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2) << "no stray file";
    };
    fails(dir.file("missing/Belvane.cfg"), FolderNotFound);
    // A file-size limit stops the write part-way (EFBIG); the real full disk is a fault-suite case.
    fails(path, Other, 100);
    {
        // While another open holds the file it has no size, so it does not load (nor fail to), and it is
        // not saved.
        const FileHolder holder(path);
        fails(path, SharingViolation);
        SettingsRecord untouched;
        EXPECT_TRUE(LoadSettings(path, untouched).ok);
        EXPECT_EQ(untouched, SettingsRecord {});
    }
    // Root writes whatever the permissions say: these run as an ordinary user.
    const auto denied = [&] {
        fs::permissions(dir.path(), fs::perms(0500));
        fails(path, AccessDenied);
        fs::permissions(dir.path(), fs::perms::owner_all);
        fs::permissions(path, fs::perms(0400));
        fails(path, AccessDenied);
        return ::testing::Test::HasFailure() ? 1 : 0;
    };
    EXPECT_EQ(exitAsOrdinaryUser(dir.path(), denied), 0) << "failed as an ordinary user: see above";
}

} // namespace
} // namespace belvane
