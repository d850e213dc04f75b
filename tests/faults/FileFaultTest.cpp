// The alarm window over damaged, locked or odd-sized files of the user's: it starts, shows alarms,
// performs nothing it cannot read, tells the user what failed where the user acted, and leaves the
// files as they were.
#include "ActionListFile.h"
#include "CommandMenu.h"
#include "ProgramRun.h"
#include "WindowFixture.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace belvane {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;
namespace fs = std::filesystem;

using Fixture = testing::WindowFixture;

std::string ValidList(const TempDir &dir)
{
    ActionListFile list;
    list.CreateDefault(dir.file("made.acd"), dir.path().string() + "/");
    std::string bytes = readFile(dir.file("made.acd"));
    fs::remove(dir.file("made.acd"));
    return bytes;
}

void Alarm(AlarmWindow &window, int level)
{
    window.Deliver("#Sender=PC1\n#Message=tea\n#Level=" + std::to_string(level) + "\n");
}

TEST(FileFaultTest, ADamagedOrLockedListIsNeitherPerformedNorChanged)
{
    struct Case
    {
        const char *name;
        std::function<void(const std::string &list)> damage;
    };
    const Case cases[] = {{"cut inside the first record",
                           [](const std::string &list) {
                               fs::resize_file(list, ActionListFile::headerSize + 100);
                           }},
                          {"a folder", [](const std::string &list) {
                               fs::remove(list);
                               fs::create_directory(list);
                               writeFile(list + "/inside", "kept");
                           }}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string list = dir.file("Belvane.acd");
        writeFile(list, ValidList(dir));
        c.damage(list);
        writeFile(dir.file("Belvane.cfg"), testing::SettingsImage(0));
        const std::string before = fs::is_directory(list) ? std::string() : readFile(list);

        Fixture f(dir);
        f.window.Initialise();
        EXPECT_EQ(f.message(), QString()) << "no default-list notice: the list exists";
        Alarm(f.window, 0);
        EXPECT_EQ(f.sender(), QStringLiteral("PC1")) << "the alarm is still shown";
        EXPECT_TRUE(f.services.journal.calls.empty()) << "nothing unreadable is performed";

        f.prompts.files.push_back(QString::fromStdString(dir.file("list.txt")));
        f.window.RunCommand(commandWriteListText);
        ASSERT_EQ(f.prompts.messages.size(), 1u);
        EXPECT_EQ(f.prompts.messages[0].icon, UserPrompts::Icon::Warning);
        EXPECT_FALSE(f.prompts.messages[0].text.contains(QStringLiteral("完了"))) << "failure reported";

        if (fs::is_directory(list)) {
            EXPECT_EQ(readFile(list + "/inside"), "kept");
        } else {
            EXPECT_EQ(readFile(list), before);
        }
    }
}

TEST(FileFaultTest, AListLockedByAnotherProcessIsSkippedUntilReleased)
{
    TempDir dir;
    const std::string list = dir.file("Belvane.acd");
    writeFile(list, ValidList(dir));
    const std::string before = readFile(list);
    {
        ActionListFile edit;
        ActionRecord level2;
        level2.enabled = 1;
        setFieldText(level2.actionFile, dir.file("tea.wav"));
        writeFile(dir.file("tea.wav"), "RIFF");
        ASSERT_EQ(edit.OpenOrCreate(0, list), 50);
        ASSERT_EQ(edit.BeginWrite(), 50);
        ASSERT_EQ(edit.WriteRecord(2, level2), 896);
    }
    const std::string edited = readFile(list);
    writeFile(dir.file("Belvane.cfg"), testing::SettingsImage(0));
    Fixture f(dir);
    f.window.Initialise();

    // flock runs cat with the lock held; cat, and with it the lock, ends when its input is closed.
    QProcess holder;
    holder.start(QStringLiteral("flock"), {QString::fromStdString(list), QStringLiteral("cat")});
    ASSERT_TRUE(holder.waitForStarted());
    ASSERT_TRUE(testing::WaitUntil([&] {
        ActionListFile probe;
        return probe.OpenOrCreate(0, list) <= 0;
    })) << "the other process holds the list";

    Alarm(f.window, 2);
    EXPECT_TRUE(f.services.journal.calls.empty());
    EXPECT_EQ(f.sender(), QStringLiteral("PC1"));
    f.prompts.files.push_back(QString::fromStdString(dir.file("list.txt")));
    f.window.RunCommand(commandWriteListText);
    ASSERT_EQ(f.prompts.messages.size(), 1u);
    EXPECT_EQ(f.prompts.messages[0].icon, UserPrompts::Icon::Warning);

    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished());
    Alarm(f.window, 2);
    ASSERT_EQ(f.services.journal.calls.size(), 1u) << "performed once the lock is gone";
    EXPECT_EQ(f.services.journal.calls[0], "wave play " + dir.file("tea.wav"));
    EXPECT_EQ(readFile(list), edited);
    EXPECT_NE(before, edited);
}

TEST(FileFaultTest, SettingsOfAnyOtherSizeAreIgnoredAndReplacedOnlyByASave)
{
    for (const std::size_t size :
         {std::size_t {0}, std::size_t {1}, std::size_t {1035}, std::size_t {1037}, std::size_t {2072}}) {
        SCOPED_TRACE(size);
        TempDir dir;
        const std::string odd(size, '\x01');
        writeFile(dir.file("Belvane.cfg"), odd);
        Fixture f(dir);
        f.window.Initialise();
        f.window.show();
        EXPECT_EQ(f.window.pos(), QPoint(52, 52));
        EXPECT_EQ(readFile(dir.file("Belvane.cfg")), odd) << "a start writes nothing";
        f.drag({5, 3});
        EXPECT_EQ(readFile(dir.file("Belvane.cfg")), testing::SettingsImage(9912, 57, 55));
        // The default port may be taken by a test running beside this one: only the files' reports count.
        EXPECT_EQ(f.prompts.count(UserPrompts::Icon::Stop), 0u);
    }
}

// A private tmpfs mount (needs root); skips when mounting is not allowed here.
class Mount
{
public:
    explicit Mount(const std::string &options)
    {
        mounted = QProcess::execute(QStringLiteral("mount"),
                                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                     QString::fromStdString(options), QStringLiteral("tmpfs"),
                                     QString::fromStdString(dir.path().string())})
            == 0;
    }
    ~Mount()
    {
        if (mounted) {
            QProcess::execute(QStringLiteral("umount"), {QString::fromStdString(dir.path().string())});
        }
    }
    bool Remount(const char *options) const
    {
        return QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-o"), QStringLiteral("remount,") + QLatin1String(options),
                                  QString::fromStdString(dir.path().string())})
            == 0;
    }

    TempDir dir;
    bool mounted = false;
};

TEST(FileFaultTest, AReadOnlyProgramFolderKeepsTheProgramRunningAndSaysWhySavingFailed)
{
    Mount mount("size=1m");
    if (!mount.mounted) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const std::string list = ValidList(mount.dir);
    writeFile(mount.dir.file("Belvane.acd"), list);
    writeFile(mount.dir.file("Belvane.cfg"), testing::SettingsImage(0));
    writeFile(mount.dir.file("Malarm.wav"), "RIFF");
    ASSERT_TRUE(mount.Remount("ro"));

    Fixture f(mount.dir);
    f.window.Initialise();
    f.window.show();
    Alarm(f.window, 0);
    ASSERT_EQ(f.services.journal.calls.size(), 1u) << "a read-only list is still performed";
    f.drag({5, 3});
    ASSERT_EQ(f.prompts.messages.size(), 1u);
    EXPECT_EQ(f.prompts.messages[0].icon, UserPrompts::Icon::Stop);
    EXPECT_TRUE(f.prompts.messages[0].text.contains(QString::fromStdString(mount.dir.file("Belvane.cfg"))));
    EXPECT_EQ(readFile(mount.dir.file("Belvane.cfg")), testing::SettingsImage(0));
    EXPECT_EQ(readFile(mount.dir.file("Belvane.acd")), list);
}

TEST(FileFaultTest, AFullDiskLeavesNoHalfWrittenFile)
{
    Mount mount("size=64k");
    if (!mount.mounted) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    writeFile(mount.dir.file("Belvane.cfg"), testing::SettingsImage(0));
    // Fill the disk to within a few KiB: room for neither the first list nor a second settings file.
    writeFile(mount.dir.file("filler"), std::string(56 * 1024, 'x'));
    while (fs::space(mount.dir.path()).available >= 1024) {
        std::ofstream(mount.dir.file("filler"), std::ios::app) << std::string(512, 'x');
        if (fs::space(mount.dir.path()).available < 512) {
            break;
        }
    }

    Fixture f(mount.dir);
    f.window.Initialise();
    f.window.show();
    EXPECT_FALSE(fs::exists(mount.dir.file("Belvane.acd"))) << "a default list that did not fit is removed";
    Alarm(f.window, 0);
    EXPECT_EQ(f.sender(), QStringLiteral("PC1"));
    EXPECT_TRUE(f.services.journal.calls.empty());
    EXPECT_FALSE(fs::exists(mount.dir.file("Belvane.acd")));

    f.drag({5, 3});
    ASSERT_EQ(f.prompts.messages.size(), 1u);
    EXPECT_EQ(f.prompts.messages[0].text,
              QString::fromStdString(mount.dir.file("Belvane.cfg"))
                  + QStringLiteral(" を保存できません。ﾃﾞｨｽｸに空きがありません。"));
    EXPECT_EQ(readFile(mount.dir.file("Belvane.cfg")), testing::SettingsImage(0)) << "the old settings kept";
}

} // namespace
} // namespace belvane
