#include "SettingsFile.h"
#include "StorageTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace belvane {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// The file image of a record, with `reserved` over the start of its reserved bytes.
std::string image(const SettingsRecord &record, const std::string &reserved = {})
{
    const auto bytes = record.toBytes();
    return std::string(bytes.begin(), bytes.end()).replace(12, reserved.size(), reserved);
}

TEST(SettingsFileTest, LoadsOnlyExactRecordsAndSavesThemWholeOrLeavesTheOldFileAndSaysWhy)
{
    TempDir dir;
    const std::string path = dir.file(SettingsRecord::fileName), link = dir.file("link.cfg");
    EXPECT_EQ(FileSizeOf(path), 0u);
    EXPECT_EQ(FileSizeOf(dir.path().string()), 0u);
    const std::string odd =
        image({INT32_MIN, INT32_MAX, -1}, std::string("by hand\0after nul", 17) + std::string(300, '\x81'));
    // The file's bytes, its size (a hole beyond the bytes), the size FileSizeOf tells, the record loaded.
    const std::tuple<std::string, std::uint64_t, std::uint32_t, std::string> cases[] = {
        {image({}).substr(1), 1035, 1035, image({})},
        {image({1, 2, 3}) + "x", 1037, 1037, image({})},
        {odd, 1036, 1036, odd},
        {"", (1ULL << 32) + 1036, 0xFFFFFFFF, image({})}};
    for (const auto &[bytes, size, told, loaded] : cases) {
        writeFile(path, bytes);
        fs::resize_file(path, size);
        EXPECT_EQ(FileSizeOf(path), told);
        SettingsRecord record;
        EXPECT_TRUE(LoadSettings(path, record).ok);
        EXPECT_EQ(image(record), loaded) << told;
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
    const auto fails = [&](const std::string &at, auto cause, const char *text, rlim_t limit = 0) {
        const auto save = [&]() {
            const SettingsFileResult result = SaveSettings(at, SettingsRecord {});
            return !result.ok && result.cause == cause && result.message == at + text ? 0 : 1;
        };
        EXPECT_EQ(exitUnderSizeLimit(limit, save), 0) << text;
        EXPECT_EQ(readFile(path), saved);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2) << "no stray file";
    };
    fails(dir.file("missing/Belvane.cfg"), FolderNotFound, " を保存するﾌｫﾙﾀﾞが見つかりません。");
    // A file-size limit stops the write part-way (EFBIG); the real full disk is a fault-suite case.
    fails(path, Other, " の読み書き中にｴﾗｰが発生しました。", 100);
    {
        // While another open holds the file it has no size, does not load and is not saved.
        const FileHolder holder(path);
        fails(path, SharingViolation, " へのｱｸｾｽ中に共有違反が発生しました。");
        EXPECT_EQ(FileSizeOf(path), 0u);
        SettingsRecord untouched;
        EXPECT_TRUE(LoadSettings(path, untouched).ok);
        EXPECT_EQ(untouched, SettingsRecord {});
    }
    if (::geteuid() != 0) { // root writes whatever the permissions say
        fs::permissions(dir.path(), fs::perms(0500));
        fails(path, AccessDenied, " へのｱｸｾｽは拒否されました。");
        fs::permissions(dir.path(), fs::perms::owner_all);
        fs::permissions(path, fs::perms(0400));
        fails(path, AccessDenied, " へのｱｸｾｽは拒否されました。");
    }
}

} // namespace
} // namespace belvane
