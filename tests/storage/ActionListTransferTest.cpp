#include "ActionListTransfer.h"
#include "StorageTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace belvane {
namespace {

namespace fs = std::filesystem;

using testing::blanks;
using testing::listBytes;

TEST(ActionListTransferTest, ListsEnabledRecordsWithLevelAndSizeText)
{
    struct Case
    {
        std::int32_t enabled, windowSize;
        std::string name, line; // the line listed for level 7, if any
    };
    for (const Case &c : std::vector<Case> {{1, 0, "a", "07\ta\tf\tp\t\x92\xCA\x8F\xED\r\n"},
                                            {1, 1, "a", "07\ta\tf\tp\t\x8D\xC5\x8F\xAC\x89\xBB\r\n"},
                                            {1, 2, "a", "07\ta\tf\tp\t\x8D\xC5\x91\xE5\x89\xBB\r\n"},
                                            {1, 5, "a", "07\ta\tf\tp\t-\r\n"},
                                            {1, 0, "x\ty", "07\tx\ty\tf\tp\t\x92\xCA\x8F\xED\r\n"},
                                            {2, 0, "a", ""}}) {
        testing::TempDir dir;
        testing::writeList(dir.file("l.acd"), 50, [&](int i, ActionRecord &record) {
            if (i == 7) {
                record.enabled = c.enabled;
                record.windowSize = c.windowSize;
                setFieldText(record.name, c.name);
                setFieldText(record.actionFile, "f");
                setFieldText(record.parameters, "p");
                setFieldText(record.workFolder, "never listed");
            }
        });
        EXPECT_EQ(ActionListText(dir.file("l.acd")), testing::listingHeading + c.line) << c.windowSize;
    }
}

TEST(ActionListTransferTest, ListingNeedsAReadableFiftyRecordList)
{
    testing::TempDir dir;
    const std::string list = dir.file("Belvane.acd");
    const std::string text = dir.file("out.txt");
    for (const std::string &bytes : {listBytes(1, 20, blanks(20)), std::string()}) {
        bytes.empty() ? static_cast<void>(fs::remove(list)) : testing::writeFile(list, bytes);
        testing::writeFile(text, "old listing");
        EXPECT_EQ(WriteListing(text, list), ListingOutcome::ListUnusable) << bytes.size();
        EXPECT_EQ(testing::readFile(text), "");
    }
    EXPECT_EQ(fs::file_size(list), 17944u) << "a missing list is created as every user of it does";
    testing::writeList(list, 50);
    EXPECT_EQ(WriteListing(dir.file("no/such/folder.txt"), list), ListingOutcome::CannotCreate);
    const testing::FileHolder holder(list);
    EXPECT_EQ(WriteListing(text, list), ListingOutcome::ListUnusable) << "a held list is not listed as empty";
}

TEST(ActionListTransferTest, SameFileByTextIgnoringCaseOrByIdentity)
{
    testing::TempDir dir;
    const std::string list = dir.file("Belvane.acd");
    const std::string top = dir.path().string();
    testing::writeList(list, 50);
    testing::writeList(dir.file("other.acd"), 50);
    fs::create_symlink(list, dir.file("link.acd"));
    fs::create_hard_link(list, dir.file("hard.acd"));
    fs::create_directory_symlink(dir.path(), dir.file("folder"));
    for (const auto &[chosen, same] :
         std::vector<std::pair<std::string, bool>> {{top + "/BELVANE.acd", true},
                                                    {top + "/link.acd", true},
                                                    {top + "/hard.acd", true},
                                                    {top + "/folder/./Belvane.acd", true},
                                                    {top + "/other.acd", false},
                                                    {top + "/Belvane\xC3\xA1.acd", false}}) {
        EXPECT_EQ(IsSameFile(chosen, list), same) << chosen;
    }
}

TEST(ActionListTransferTest, OnlyWholeFiftyRecordListsAreImportable)
{
    testing::TempDir dir;
    const std::string path = dir.file("in.acd");
    for (const auto &[bytes, importable] : std::vector<std::pair<std::string, bool>> {
             {listBytes(1, 50, std::string(44800, '\xAB')), true}, // garbage records are copied as they are
             {listBytes(1, 50, std::string(44799, '\0')), false}, // cut short in the last record
             {listBytes(1, 20, blanks(50)), false},
             {"ZidovuZu?" + listBytes(1, 50, blanks(50)).substr(9), false}}) {
        testing::writeFile(path, bytes);
        EXPECT_EQ(IsImportableList(path), importable) << bytes.size();
    }
    EXPECT_FALSE(IsImportableList(dir.file("missing.acd")));
    EXPECT_FALSE(fs::exists(dir.file("missing.acd"))) << "the check must not create the file";
}

TEST(ActionListTransferTest, FailedCopyLeavesTheTargetWholeAndNoStrayFile)
{
    testing::TempDir dir;
    const std::string source = dir.file("source.acd");
    const std::string target = dir.file("target.acd");
    const std::string fresh(44824, 'n');
    testing::writeFile(source, fresh);
    testing::writeList(target, 50);
    const std::string old = testing::readFile(target);
    const auto copyLimited = [&](const std::string &from, rlim_t limit, std::uintmax_t minimum) {
        return testing::exitUnderSizeLimit(limit,
                                           [&]() { return CopyReplacing(from, target, minimum) ? 0 : 1; })
            == 0;
    };
    EXPECT_FALSE(copyLimited(source, 30000, 0)) << "disk full";
    EXPECT_FALSE(copyLimited(dir.file("none"), 0, 0)) << "source missing";
    EXPECT_FALSE(copyLimited(source, 0, 44825)) << "source shorter than required";
    {
        const testing::FileHolder holder(target);
        EXPECT_FALSE(CopyReplacing(source, target)) << "a list held by another open is not replaced";
    }
    EXPECT_EQ(testing::readFile(target), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);

    fs::create_symlink(target, dir.file("link.acd"));
    ASSERT_TRUE(CopyReplacing(source, dir.file("link.acd")));
    EXPECT_TRUE(fs::is_symlink(dir.file("link.acd"))) << "the link stays, its target is replaced";
    EXPECT_EQ(testing::readFile(target), fresh);
}

} // namespace
} // namespace belvane
