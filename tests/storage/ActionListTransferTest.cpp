#include "ActionListTransfer.h"
#include "ActionListFile.h"
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
const std::string header50 = listBytes(1, 50, "");

// A 50-record list whose record 7 is `seven`.
std::string listWith(const ActionRecord &seven)
{
    std::string bytes = listBytes(1, 50, blanks(50));
    const auto image = seven.toBytes();
    bytes.replace(24 + 7 * 896, 896, reinterpret_cast<const char *>(image.data()), image.size());
    return bytes;
}

TEST(ActionListTransferTest, ListsEnabledRecordsWithLevelAndSizeText)
{
    const std::string heading =
        "No\t\x93o\x98^\x96\xBC\t\x93\xAE\x8D\xEC\x83t\x83@\x83"
        "C\x83\x8B\t\x83p\x83\x89\x83\x81\x81[\x83^\x81[\t\x91\xE5\x82\xAB\x82\xB3\r\n";
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
        ActionRecord record;
        record.enabled = c.enabled;
        record.windowSize = c.windowSize;
        setFieldText(record.name, c.name);
        setFieldText(record.actionFile, "f");
        setFieldText(record.parameters, "p");
        setFieldText(record.workFolder, "never listed");
        testing::writeFile(dir.file("l.acd"), listWith(record));
        EXPECT_EQ(ActionListText(dir.file("l.acd")), heading + c.line) << c.windowSize;
    }
}

TEST(ActionListTransferTest, ListingNeedsAReadableFiftyRecordList)
{
    testing::TempDir dir;
    const std::string list = dir.file("Belvane.acd");
    const std::string text = dir.file("out.txt");
    for (const std::string &bytes :
         {listBytes(1, 20, blanks(20)), "ZidovuZ?" + std::string(44816, '\0'), std::string()}) {
        bytes.empty() ? static_cast<void>(fs::remove(list)) : testing::writeFile(list, bytes);
        testing::writeFile(text, "old listing");
        EXPECT_EQ(WriteListing(text, list), ListingOutcome::ListUnusable) << bytes.size();
        EXPECT_EQ(testing::readFile(text), "");
    }
    EXPECT_EQ(fs::file_size(list), 17944u) << "a missing list is created as every user of it does";
    testing::writeFile(list, listWith({}));
    EXPECT_EQ(WriteListing(dir.file("no/such/folder.txt"), list), ListingOutcome::CannotCreate);
    ActionListFile holder;
    holder.OpenOrCreate(0, list);
    ASSERT_EQ(holder.BeginRead(), 50);
    EXPECT_EQ(WriteListing(text, list), ListingOutcome::ListUnusable) << "a held list is not listed as empty";
}

TEST(ActionListTransferTest, SameFileByTextIgnoringCaseOrByIdentity)
{
    testing::TempDir dir;
    const std::string list = dir.file("Belvane.acd");
    const std::string top = dir.path().string();
    testing::writeFile(list, listWith({}));
    testing::writeFile(dir.file("other.acd"), listWith({}));
    fs::create_symlink(list, dir.file("link.acd"));
    fs::create_hard_link(list, dir.file("hard.acd"));
    fs::create_directory_symlink(dir.path(), dir.file("folder"));
    for (const auto &[chosen, same] :
         std::vector<std::pair<std::string, bool>> {{list, true},
                                                    {top + "/BELVANE.acd", true},
                                                    {top + "/link.acd", true},
                                                    {top + "/hard.acd", true},
                                                    {top + "/folder/Belvane.acd", true},
                                                    {top + "/./Belvane.acd", true},
                                                    {top + "/other.acd", false},
                                                    {top + "/Belvane.acd2", false},
                                                    {top + "/Belvane\xC3\xA1.acd", false}}) {
        EXPECT_EQ(IsSameFile(chosen, list), same) << chosen;
    }
}

TEST(ActionListTransferTest, OnlyWholeFiftyRecordListsAreImportable)
{
    testing::TempDir dir;
    const std::string path = dir.file("in.acd");
    for (const auto &[bytes, importable] : std::vector<std::pair<std::string, bool>> {
             {header50 + std::string(44800, '\xAB'), true}, // garbage records are copied as they are
             {header50 + std::string(44799, '\0'), false}, // cut short in the last record
             {listBytes(1, 20, blanks(50)), false},
             {"ZidovuZu?" + header50.substr(9) + std::string(44800, '\0'), false}}) {
        testing::writeFile(path, bytes);
        EXPECT_EQ(IsImportableList(path), importable) << bytes.size();
    }
    EXPECT_FALSE(IsImportableList(dir.file("missing.acd")));
    EXPECT_FALSE(fs::exists(dir.file("missing.acd"))) << "the check must not create the file";
}

bool copyLimited(const std::string &from, const std::string &to, rlim_t limit, std::uintmax_t minimum)
{
    return testing::exitUnderSizeLimit(limit, [&]() { return CopyReplacing(from, to, minimum) ? 0 : 1; })
        == 0;
}

TEST(ActionListTransferTest, FailedCopyLeavesTheTargetWholeAndNoStrayFile)
{
    testing::TempDir dir;
    const std::string source = dir.file("source.acd");
    const std::string target = dir.file("target.acd");
    const std::string fresh(44824, 'n');
    const std::string old = listWith({});
    testing::writeFile(source, fresh);
    testing::writeFile(target, old);
    EXPECT_FALSE(copyLimited(source, target, 30000, 0)) << "disk full";
    EXPECT_FALSE(copyLimited(dir.file("none"), target, 0, 0)) << "source missing";
    EXPECT_FALSE(copyLimited(source, target, 0, 44825)) << "source shorter than required";
    ActionListFile holder;
    holder.OpenOrCreate(0, target);
    ASSERT_EQ(holder.BeginRead(), 50);
    EXPECT_FALSE(CopyReplacing(source, target)) << "a list held by another open is not replaced";
    holder.Close();
    EXPECT_EQ(testing::readFile(target), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);

    fs::create_symlink(target, dir.file("link.acd"));
    ASSERT_TRUE(CopyReplacing(source, dir.file("link.acd")));
    EXPECT_TRUE(fs::is_symlink(dir.file("link.acd"))) << "the link stays, its target is replaced";
    EXPECT_EQ(testing::readFile(target), fresh);
}

} // namespace
} // namespace belvane
