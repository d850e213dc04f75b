#include "SettingsFile.h"
#include "StorageTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace belvane {
namespace {

namespace fs = std::filesystem;

std::string image(std::int32_t x, std::int32_t y, std::int32_t port, const std::string &reserved = {})
{
    SettingsRecord record;
    record.windowX = x;
    record.windowY = y;
    record.port = port;
    const auto bytes = record.toBytes();
    std::string text(bytes.begin(), bytes.end());
    return text.replace(12, reserved.size(), reserved);
}

TEST(SettingsFileTest, LoadsOnlyFilesOfExactlyTheRecordSize)
{
    const std::string hand = std::string("by hand\0after nul", 17) + std::string(300, '\x81');
    const std::string defaults = image(52, 52, 9912);
    const struct
    {
        std::string bytes;
        std::uint64_t sparseSize; // written as a hole of this size instead of bytes
        std::uint32_t size;
        std::string loaded; // the record's image afterwards
    } cases[] = {
        {"", 0, 0, defaults},
        {defaults.substr(1), 0, 1035, defaults},
        {image(1, 2, 3) + "x", 0, 1037, defaults},
        {image(INT32_MIN, INT32_MAX, -1, hand), 0, 1036, image(INT32_MIN, INT32_MAX, -1, hand)},
        {"", (1ULL << 32) + 1036, 0xFFFFFFFF, defaults},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        testing::TempDir dir;
        const std::string path = dir.file(SettingsRecord::fileName);
        testing::writeFile(path, c.bytes);
        if (c.sparseSize != 0) {
            fs::resize_file(path, c.sparseSize);
        }
        EXPECT_EQ(FileSizeOf(path), c.size);
        SettingsRecord record;
        EXPECT_TRUE(LoadSettings(path, record).ok);
        const auto bytes = record.toBytes();
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.loaded);
    }
}

TEST(SettingsFileTest, UnusableFilesHaveNoSizeAndHeldFilesDoNotLoad)
{
    testing::TempDir dir;
    const std::string path = dir.file(SettingsRecord::fileName);
    EXPECT_EQ(FileSizeOf(path), 0u);
    EXPECT_EQ(FileSizeOf(dir.path().string()), 0u);
    testing::writeFile(path, image(7, 8, 9));
    SettingsRecord record;
    const testing::FileHolder holder(path);
    EXPECT_EQ(FileSizeOf(path), 0u);
    EXPECT_TRUE(LoadSettings(path, record).ok);
    EXPECT_EQ(record, SettingsRecord {});
}

TEST(SettingsFileTest, SaveWritesTheWholeRecordAndReplacesOldContent)
{
    testing::TempDir dir;
    const std::string path = dir.file(SettingsRecord::fileName);
    ASSERT_TRUE(SaveSettings(path, SettingsRecord {}).ok);
    EXPECT_EQ(testing::readFile(path),
              std::string("\x34\0\0\0\x34\0\0\0\xB8\x26\0\0", 12) + std::string(1024, '\0'));

    const std::string hand = std::string("hand\0kept", 9);
    testing::writeFile(path, image(1, 2, 3, hand));
    fs::permissions(path, fs::perms(0640));
    const std::string link = dir.file("link.cfg");
    fs::create_symlink(path, link);
    SettingsRecord record;
    ASSERT_TRUE(LoadSettings(link, record).ok);
    record.windowX = -1;
    ASSERT_TRUE(SaveSettings(link, record).ok);
    EXPECT_EQ(testing::readFile(path), image(-1, 2, 3, hand));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);
}

TEST(SettingsFileTest, FailedSaveLeavesOldFileAndSaysWhy)
{
    using fs::perms;
    const std::string denied = " へのｱｸｾｽは拒否されました。";
    const struct
    {
        std::string relative; // the file to save, under the folder
        perms folderMode, fileMode;
        bool held;
        rlim_t sizeLimit; // none when 0
        SettingsFileError cause;
        std::string text; // after the path
    } cases[] = {
        {"missing/Belvane.cfg", perms::owner_all, perms::owner_all, false, 0,
         SettingsFileError::FolderNotFound, " を保存するﾌｫﾙﾀﾞが見つかりません。"},
        {"Belvane.cfg", perms::owner_all, perms::owner_all, true, 0, SettingsFileError::SharingViolation,
         " へのｱｸｾｽ中に共有違反が発生しました。"},
        // A file-size limit stops the write part-way (EFBIG); the real full disk is a fault-suite case.
        {"Belvane.cfg", perms::owner_all, perms::owner_all, false, 100, SettingsFileError::Other,
         " の読み書き中にｴﾗｰが発生しました。"},
        // Root writes whatever the permissions say.
        {"Belvane.cfg", perms(0500), perms::owner_all, false, 0, SettingsFileError::AccessDenied, denied},
        {"Belvane.cfg", perms::owner_all, perms(0400), false, 0, SettingsFileError::AccessDenied, denied},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        if (c.cause == SettingsFileError::AccessDenied && ::geteuid() == 0) {
            continue;
        }
        testing::TempDir dir;
        const std::string old = dir.file(SettingsRecord::fileName);
        testing::writeFile(old, image(5, 6, 7));
        const std::string path = dir.file(c.relative);
        std::optional<testing::FileHolder> holder;
        if (c.held) {
            holder.emplace(old);
        }
        fs::permissions(old, c.fileMode);
        fs::permissions(dir.path(), c.folderMode);
        const int failedAsExpected = testing::exitUnderSizeLimit(c.sizeLimit, [&]() {
            const SettingsFileResult result = SaveSettings(path, SettingsRecord {});
            return !result.ok && result.cause == c.cause && result.message == path + c.text ? 0 : 1;
        });
        fs::permissions(dir.path(), perms::owner_all);
        EXPECT_EQ(failedAsExpected, 0);
        EXPECT_EQ(testing::readFile(old), image(5, 6, 7));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
    }
}

} // namespace
} // namespace belvane
