#include "ActionListTransfer.h"
#include "ActionListFile.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace belvane {
namespace {

namespace fs = std::filesystem;

// The cp932 heading and window-size texts, spelled out byte by byte.
const std::string heading = "No\t\x93o\x98^\x96\xBC\t\x93\xAE\x8D\xEC\x83t\x83@\x83"
                            "C\x83\x8B\t\x83p\x83\x89\x83\x81\x81[\x83^\x81[\t\x91\xE5\x82\xAB\x82\xB3\r\n";
const std::string normal = "\x92\xCA\x8F\xED";

// A new list of `count` records, replacing any file at `path`; `fill` sets up the records before they are
// written.
void writeList(const std::string &path, std::int32_t count,
               const std::function<void(int, ActionRecord &)> &fill)
{
    fs::remove(path);
    ActionListFile list;
    ASSERT_EQ(list.OpenOrCreate(count, path), count);
    ASSERT_EQ(list.BeginWrite(), count);
    for (int i = 0; i < count; ++i) {
        ActionRecord record;
        fill(i, record);
        ASSERT_EQ(list.WriteRecord(-1, record), 896);
    }
    list.Close();
}

TEST(ActionListTransferTest, DefaultListIsListedByteForByte)
{
    testing::TempDir dir;
    const std::string path = dir.file("Belvane.acd");
    ActionListFile().CreateDefault(path, "/opt/bv/");
    EXPECT_EQ(ActionListText(path),
              heading + "00\tMalarm.wav\t/opt/bv/Malarm.wav\t\t" + normal + "\r\n"
                  + "01\tSalarm.wav\t/opt/bv/Salarm.wav\t\t" + normal + "\r\n");
}

TEST(ActionListTransferTest, OnlyEnabledRecordsAreListedWithTheirLevelAndSizeText)
{
    struct Case
    {
        std::int32_t enabled;
        std::int32_t windowSize;
        std::string name;
        std::string listed; // the line for level 7, or empty for none
    };
    const std::vector<Case> cases = {
        {1, 0, "a", "07\ta\tf\tp\t" + normal + "\r\n"},
        {1, 1, "a", "07\ta\tf\tp\t\x8D\xC5\x8F\xAC\x89\xBB\r\n"},
        {1, 2, "a", "07\ta\tf\tp\t\x8D\xC5\x91\xE5\x89\xBB\r\n"},
        {1, 5, "a", "07\ta\tf\tp\t-\r\n"},
        {1, -1, "a", "07\ta\tf\tp\t-\r\n"},
        {1, 0, "x\ty", "07\tx\ty\tf\tp\t" + normal + "\r\n"},
        {2, 0, "a", ""},
        {0, 0, "a", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name + " " + std::to_string(c.enabled) + " " + std::to_string(c.windowSize));
        testing::TempDir dir;
        const std::string path = dir.file("Belvane.acd");
        writeList(path, 50, [&](int level, ActionRecord &record) {
            if (level == 7) {
                record.enabled = c.enabled;
                record.windowSize = c.windowSize;
                setFieldText(record.name, c.name);
                setFieldText(record.actionFile, "f");
                setFieldText(record.parameters, "p");
                setFieldText(record.workFolder, "never listed");
            }
        });
        EXPECT_EQ(ActionListText(path), heading + c.listed);
    }
}

TEST(ActionListTransferTest, ListingNeedsAFiftyRecordListAndLeavesAnEmptyFileOtherwise)
{
    testing::TempDir dir;
    const std::string list = dir.file("Belvane.acd");
    const std::string text = dir.file("out.txt");
    const std::vector<std::function<void()>> unusable = {
        [&] { writeList(list, 20, [](int, ActionRecord &) {}); },
        [&] { testing::writeFile(list, "ZidovuZ?" + std::string(44816, '\0')); },
        [&] { fs::remove(list); },
    };
    for (std::size_t i = 0; i < unusable.size(); ++i) {
        SCOPED_TRACE(i);
        unusable[i]();
        testing::writeFile(text, "old listing");
        EXPECT_EQ(WriteListing(text, list), ListingOutcome::ListUnusable);
        EXPECT_EQ(testing::readFile(text), "");
    }
    // The missing list was created with the default count, as every user of the list does.
    EXPECT_EQ(fs::file_size(list), 17944u);

    writeList(list, 50, [](int, ActionRecord &) {});
    EXPECT_EQ(WriteListing(dir.file("no/such/folder.txt"), list), ListingOutcome::CannotCreate);
    ActionListFile holder;
    ASSERT_EQ(holder.OpenOrCreate(0, list), 50);
    ASSERT_EQ(holder.BeginRead(), 50);
    EXPECT_EQ(WriteListing(text, list), ListingOutcome::ListUnusable)
        << "a locked list is not listed as empty";
    holder.Close();
    EXPECT_EQ(WriteListing(text, list), ListingOutcome::Written);
    EXPECT_EQ(testing::readFile(text), heading);
}

TEST(ActionListTransferTest, SameFileByTextIgnoringCaseOrByIdentity)
{
    testing::TempDir dir;
    const std::string list = dir.file("Belvane.acd");
    writeList(list, 50, [](int, ActionRecord &) {});
    fs::create_symlink(list, dir.file("link.acd"));
    fs::create_hard_link(list, dir.file("hard.acd"));
    fs::create_directory_symlink(dir.path(), dir.file("folder"));
    testing::writeFile(dir.file("other.acd"), testing::readFile(list));
    const std::string top = dir.path().string();
    const std::vector<std::pair<std::string, bool>> cases = {
        {list, true},
        {top + "/BELVANE.acd", true},
        {top + "/belvane.ACD", true},
        {top + "/link.acd", true},
        {top + "/hard.acd", true},
        {top + "/folder/Belvane.acd", true},
        {top + "/./Belvane.acd", true},
        {top + "/other.acd", false},
        {top + "/Belvane.acd2", false},
        {top + "/Belvane\xC3\xA1.acd", false},
    };
    for (const auto &[chosen, same] : cases) {
        EXPECT_EQ(IsSameFile(chosen, list), same) << chosen;
    }
}

TEST(ActionListTransferTest, OnlyWholeFiftyRecordListsAreImportable)
{
    testing::TempDir dir;
    const std::string path = dir.file("in.acd");
    const std::string header50 = std::string("ZidovuZu!\0\0\0\0\0\0\0\x01\0\0\0\x32\0\0\0", 24);
    const std::vector<std::pair<std::string, bool>> cases = {
        {header50 + std::string(44800, '\xAB'), true}, // garbage records are copied as they are
        {header50 + std::string(44801, '\0'), true},
        {header50 + std::string(44799, '\0'), false}, // cut short in the last record
        {header50 + std::string(20000, '\0'), false},
        {std::string("ZidovuZu!\0\0\0\0\0\0\0\x01\0\0\0\x14\0\0\0", 24) + std::string(44800, '\0'), false},
        {"ZidovuZu?" + header50.substr(9) + std::string(44800, '\0'), false},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        testing::writeFile(path, cases[i].first);
        EXPECT_EQ(IsImportableList(path), cases[i].second) << i;
    }
    EXPECT_FALSE(IsImportableList(dir.file("missing.acd")));
    EXPECT_FALSE(fs::exists(dir.file("missing.acd"))) << "the check must not create the file";
}

// Runs a copy in a child process whose file size limit is `limit` bytes (no limit when 0).
bool copyLimited(const std::string &from, const std::string &to, rlim_t limit, std::uintmax_t minimum = 0)
{
    const pid_t child = fork();
    if (child == 0) {
        if (limit != 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit rl {limit, limit};
            setrlimit(RLIMIT_FSIZE, &rl);
        }
        _exit(CopyReplacing(from, to, minimum) ? 0 : 1);
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(ActionListTransferTest, FailedCopyLeavesTheTargetWholeAndNoStrayFile)
{
    testing::TempDir dir;
    const std::string source = dir.file("source.acd");
    const std::string target = dir.file("target.acd");
    const std::string fresh(44824, 'n');
    const std::string old(44824, 'o');
    testing::writeFile(source, fresh);
    struct Case
    {
        std::string name;
        std::string from;
        rlim_t limit;
        std::uintmax_t minimum;
    };
    for (const Case &c :
         {Case {"disk full", source, 30000, 0}, Case {"source missing", dir.file("none"), 0, 0},
          Case {"source too short", source, 0, 44825}}) {
        SCOPED_TRACE(c.name);
        testing::writeFile(target, old);
        EXPECT_FALSE(copyLimited(c.from, target, c.limit, c.minimum));
        EXPECT_EQ(testing::readFile(target), old);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);
    }
    ActionListFile holder;
    writeList(target, 50, [](int, ActionRecord &) {});
    const std::string list = testing::readFile(target);
    ASSERT_EQ(holder.OpenOrCreate(0, target), 50);
    ASSERT_EQ(holder.BeginRead(), 50);
    EXPECT_FALSE(CopyReplacing(source, target)) << "a list held by another open is not replaced";
    holder.Close();
    EXPECT_EQ(testing::readFile(target), list);

    fs::create_symlink(target, dir.file("link.acd"));
    ASSERT_TRUE(CopyReplacing(source, dir.file("link.acd")));
    EXPECT_TRUE(fs::is_symlink(dir.file("link.acd"))) << "the link stays, its target is replaced";
    EXPECT_EQ(testing::readFile(target), fresh);
    ASSERT_TRUE(CopyReplacing(source, dir.file("new.acd")));
    EXPECT_EQ(testing::readFile(dir.file("new.acd")), fresh);
}

} // namespace
} // namespace belvane
