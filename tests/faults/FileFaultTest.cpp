// The alarm window over damaged, locked or unwritable files of the user's: it starts, shows alarms,
// performs nothing it cannot read, tells the user what failed where the user acted, and leaves the
// files as they were.
#include "CommandMenu.h"
#include "ProgramRun.h"
#include "StorageTestSupport.h"
#include "WindowFixture.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace belvane {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// A list whose level 0 plays "tea.wav", in `dir`'s program folder.
void writeTeaList(const TempDir &dir)
{
    writeFile(dir.file("tea.wav"), "RIFF");
    writeActions(dir.file("Belvane.acd"), 50, {{0, {1, dir.file("tea.wav")}}});
    writeFile(dir.file("Belvane.cfg"), settingsImage(freePort()));
}

TEST(FileFaultTest, ADamagedOrHeldListIsNeitherPerformedNorChangedAndAHeldOneIsUsedOnceReleased)
{
    for (const bool held : {false, true}) {
        SCOPED_TRACE(held ? "held by another process" : "cut inside the first record");
        TempDir dir;
        writeTeaList(dir);
        const std::string list = dir.file("Belvane.acd");
        held ? void() : fs::resize_file(list, 24 + 100);
        const std::string before = readFile(list);
        WindowFixture f(dir);
        EXPECT_EQ(f.message(), QString()) << "no default-list notice: the list exists";
        std::optional<FileHolder> holder;
        held ? void(holder.emplace(list)) : void();
        f.alarm(0);
        EXPECT_EQ(f.sender(), QStringLiteral("PC1")) << "the alarm is still shown";
        EXPECT_TRUE(f.journal.empty()) << "nothing unreadable is performed";
        f.prompts.files.push_back(QString::fromStdString(dir.file("list.txt")));
        f.window.runCommand(CommandWriteListText);
        EXPECT_EQ(f.prompts.icons, std::vector {UserPrompts::Icon::Warning}) << "the failure is reported";
        if (held) {
            holder.reset();
            f.alarm(0);
            EXPECT_EQ(f.journal, std::vector<std::string> {"wave play " + dir.file("tea.wav")});
        }
        EXPECT_EQ(readFile(list), before);
    }
}

// A tmpfs mounted over a temporary folder, for a test in a mount namespace of its own.
struct Mount
{
    explicit Mount(const char *options) { mounted = run("mount", {"-t", "tmpfs", "-o", options, "tmpfs"}); }
    ~Mount()
    {
        if (mounted) {
            run("umount", {});
        }
    }
    // Runs `program` with `arguments` and the folder.
    bool run(const char *program, QStringList arguments) const
    {
        return QProcess::execute(program, arguments << QString::fromStdString(dir.path().string())) == 0;
    }

    TempDir dir;
    bool mounted = false;
};

TEST(FileFaultTest, AFullDiskLeavesNoHalfWrittenFileAndAReadOnlyFolderKeepsTheProgramRunning)
{
    if (!qEnvironmentVariableIsSet("BELVANE_OWN_MOUNTS")) {
        // Run again in a mount namespace of its own (without root, in a user namespace in which it is
        // root), where it may mount, and where the mount goes away with it.
        QStringList unshare = words(geteuid() != 0 ? "--mount --map-root-user" : "--mount");
        if (QProcess::execute(QStringLiteral("unshare"), QStringList(unshare) << QStringLiteral("true"))
            != 0) {
            GTEST_SKIP() << "this system allows no mount namespace of the test's own";
        }
        const ::testing::TestInfo &test = *::testing::UnitTest::GetInstance()->current_test_info();
        unshare << QCoreApplication::applicationFilePath()
                << QStringLiteral("--gtest_filter=%1.%2").arg(test.test_suite_name(), test.name());
        qputenv("BELVANE_OWN_MOUNTS", "1");
        EXPECT_EQ(QProcess::execute(QStringLiteral("unshare"), unshare), 0)
            << "failed in its own mount namespace: see above";
        qunsetenv("BELVANE_OWN_MOUNTS");
        return;
    }
    Mount mount("size=64k");
    ASSERT_TRUE(mount.mounted);
    const std::string settings = mount.dir.file("Belvane.cfg"), list = mount.dir.file("Belvane.acd");
    const std::string oldSettings = settingsImage(freePort());
    writeFile(settings, oldSettings);
    // Fill the disk to within a few hundred bytes: room for neither the first list nor a second settings
    // file.
    writeFile(mount.dir.file("filler"), std::string(56 * 1024, 'x'));
    while (fs::space(mount.dir.path()).available >= 512) {
        std::ofstream(mount.dir.file("filler"), std::ios::app) << std::string(512, 'x');
    }
    {
        WindowFixture f(mount.dir, true);
        EXPECT_FALSE(fs::exists(list)) << "a default list that did not fit is removed";
        f.alarm(0);
        EXPECT_EQ(f.sender(), QStringLiteral("PC1"));
        EXPECT_TRUE(f.journal.empty());
        EXPECT_FALSE(fs::exists(list));
        f.drag({5, 3});
        EXPECT_EQ(f.prompts.texts,
                  QStringList {QString::fromStdString(settings)
                               + QStringLiteral(" を保存できません。ﾃﾞｨｽｸに空きがありません。")});
        EXPECT_EQ(readFile(settings), oldSettings) << "the old settings kept";
    }

    fs::remove(mount.dir.file("filler"));
    writeTeaList(mount.dir);
    const std::string before = readFile(list), settingsBefore = readFile(settings);
    ASSERT_TRUE(mount.run("mount", {"-t", "tmpfs", "-o", "remount,ro", "tmpfs"}));
    WindowFixture f(mount.dir, true);
    f.alarm(0);
    EXPECT_EQ(f.journal.size(), 1u) << "a read-only list is still performed";
    f.drag({5, 3});
    EXPECT_EQ(f.prompts.icons, std::vector {UserPrompts::Icon::Stop});
    EXPECT_TRUE(f.prompts.texts.value(0).contains(QString::fromStdString(settings)));
    EXPECT_EQ(readFile(settings), settingsBefore);
    EXPECT_EQ(readFile(list), before);
}

} // namespace
} // namespace belvane
