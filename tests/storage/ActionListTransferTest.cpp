#include "ActionListTransfer.h"
#include "StorageTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

namespace belvane {
namespace {

using namespace testing;
namespace fs = std::filesystem;

TEST(ActionListTransferTest, ListingShowsEnabledRecordsAndNeedsAReadableFiftyRecordList)
{
    TempDir dir;
    const std::string list = dir.file("Belvane.acd"), text = dir.file("out.txt");
    // Levels 9 to 12 are on with window sizes 0, 1, 2 and 5; level 13's enabled 2 is not on.
    writeList(list, 50, [](int i, ActionRecord &record) {
        record = {.enabled = i < 9 || i > 13 ? 0 : i == 13 ? 2 : 1, .windowSize = i == 12 ? 5 : i - 9};
        setFieldText(record.name, "a");
        setFieldText(record.actionFile, "f");
        setFieldText(record.parameters, "p");
        setFieldText(record.workFolder, "never listed");
    });
    EXPECT_EQ(WriteListing(text, list), ListingOutcome::Written);
    EXPECT_EQ(readFile(text),
              listingHeading + "09\ta\tf\tp\t\x92\xCA\x8F\xED\r\n"
                  + "10\ta\tf\tp\t\x8D\xC5\x8F\xAC\x89\xBB\r\n" + "11\ta\tf\tp\t\x8D\xC5\x91\xE5\x89\xBB\r\n"
                  + "12\ta\tf\tp\t-\r\n");
    // Not fifty records, cut short in the last record, missing: the old listing goes and none is
    // written, for a list that cannot be read whole must not pass for one with nothing on.
    for (const std::string &bytes :
         {listBytes(1, 20, blanks(20)), listBytes(1, 50, blanks(49)), std::string()}) {
        bytes.empty() ? static_cast<void>(fs::remove(list)) : writeFile(list, bytes);
        writeFile(text, "old listing");
        EXPECT_EQ(WriteListing(text, list), ListingOutcome::ListUnusable) << bytes.size();
        EXPECT_EQ(readFile(text), "");
    }
}

TEST(ActionListTransferTest, CopiesNeverTargetTheInUseListTakeOnlyWholeListsAndFailCleanly)
{
    TempDir dir;
    const std::string list = dir.file("Belvane.acd"), source = dir.file("in.acd");
    writeList(list, 50);
    const std::string garbage = listBytes(1, 50, std::string(44800, '\xAB'));
    fs::create_symlink(list, dir.file("link.acd"));
    fs::create_hard_link(list, dir.file("hard.acd"));

    // Records of any content are copied as they are; a list cut short in its last record, of another
    // count or with another signature, or none, is not importable.
    for (const auto &[bytes, importable] : {std::pair {listBytes(1, 50, std::string(44799, '\0')), false},
                                            {listBytes(1, 20, blanks(50)), false},
                                            {"ZidovuZu?" + garbage.substr(9), false},
                                            {garbage, true}}) {
        writeFile(source, bytes);
        EXPECT_EQ(IsImportableList(source), importable) << bytes.size();
    }
    EXPECT_FALSE(IsImportableList(dir.file("missing.acd")));

    // Another spelling of the in-use list, or a link of either kind to it, names it; another list not.
    for (const auto &[chosen, same] :
         {std::pair {"BELVANE.acd", true}, {"link.acd", true}, {"hard.acd", true}, {"in.acd", false}}) {
        EXPECT_EQ(IsSameFile(dir.file(chosen), list), same) << chosen;
    }

    // A full disk (a file-size limit), a missing source, a source shorter than required, a held list.
    EXPECT_EQ(exitUnderSizeLimit(30000, [&]() { return CopyReplacing(source, list) ? 0 : 1; }), 1);
    EXPECT_FALSE(CopyReplacing(dir.file("missing.acd"), list));
    EXPECT_FALSE(CopyReplacing(source, list, 44825));
    {
        const FileHolder holder(list);
        EXPECT_FALSE(CopyReplacing(source, list));
    }
    EXPECT_EQ(readFile(list), listBytes(1, 50, blanks(50)));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 4) << "no stray file, nothing created";

    ASSERT_TRUE(CopyReplacing(source, dir.file("link.acd")));
    EXPECT_TRUE(fs::is_symlink(dir.file("link.acd"))) << "the link stays, its target is replaced";
    EXPECT_EQ(readFile(list), garbage);
}

} // namespace
} // namespace belvane
