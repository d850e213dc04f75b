#include "PosixLauncher.h"
#include "TempDir.h"
#include "XSession.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <vector>

#include <unistd.h>

namespace belvane {
namespace {

namespace fs = std::filesystem;
constexpr int generous = 30000; // ms

// A program that records the folder it runs in and its arguments, each followed by NUL, into `record`.
void writeRecorder(const std::string &path, const std::string &record)
{
    testing::writeFile(path,
                       "#!/bin/sh\nprintf '%s\\0' \"$(pwd)\" \"$@\" > '" + record + ".part' && mv '" + record
                           + ".part' '" + record + "'\n");
    fs::permissions(path, fs::perms::owner_all);
}

class LauncherTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directory(bin);
        writeRecorder((bin / "xdg-open").string(), dir.file("opened"));
        writeRecorder(dir.file("record args.sh"), dir.file("args"));
        qputenv("PATH", QByteArray::fromStdString(bin.string() + ":" + savedPath.toStdString()));
        qunsetenv("DISPLAY"); // no X11: a window size changes nothing
    }
    void TearDown() override
    {
        qputenv("PATH", savedPath);
        qputenv("DISPLAY", savedDisplay);
    }

    // What the started program recorded: its arguments, or nullopt when it never ran.
    std::optional<std::vector<std::string>> recorded(const std::string &name)
    {
        const std::string path = dir.file(name);
        for (int waited = 0; waited < generous && !fs::exists(path); waited += 10) {
            QTest::qWait(10);
        }
        if (!fs::exists(path)) {
            return std::nullopt;
        }
        const std::string text = testing::readFile(path);
        fs::remove(path);
        std::vector<std::string> words;
        for (std::size_t at = 0, nul; (nul = text.find('\0', at)) != std::string::npos; at = nul + 1) {
            words.push_back(text.substr(at, nul - at));
        }
        folder = words.empty() ? "" : words.front();
        words.erase(words.begin(), words.begin() + (words.empty() ? 0 : 1));
        return words;
    }

    testing::TempDir dir;
    fs::path bin = dir.path() / "bin";
    QByteArray savedPath = qgetenv("PATH");
    QByteArray savedDisplay = qgetenv("DISPLAY");
    std::string folder;
    PosixLauncher launcher;
};

using Words = std::vector<std::string>;

TEST_F(LauncherTest, ExecutableGetsParametersSplitLikeAShellWithoutExpansion)
{
    const struct
    {
        std::string parameters;
        Words arguments;
    } cases[] = {
        {"", {}},
        {" a  b\tc ", {"a", "b", "c"}},
        {"'two words' \"x y\" mixed' 'quote\"s\"", {"two words", "x y", "mixed quotes"}},
        {R"("a\"b\\c\$d\`e\f" '' "")", {"a\"b\\c$d`e\\f", "", ""}},
        {R"(a\ b \'c \"d back\\)", {"a b", "'c", "\"d", "back\\"}},
        {"join\\\ned \"in\\\nside\"", {"joined", "inside"}},
        {"$HOME * ; | > `ls` ~ #c", {"$HOME", "*", ";", "|", ">", "`ls`", "~", "#c"}},
        {"\x95\x5C \x83\x5C", {"表", "ソ"}}, // cp932 trail byte 0x5C is no backslash
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.parameters);
        EXPECT_EQ(launcher.Open(0, dir.file("record args.sh"), c.parameters, showNormal), Launcher::started);
        EXPECT_EQ(recorded("args"), c.arguments);
        EXPECT_EQ(folder, fs::current_path().string());
    }
}

TEST_F(LauncherTest, RefusesWhatCannotStart)
{
    testing::writeFile(dir.file("plain.txt"), "text");
    testing::writeFile(dir.file("no interpreter"), "\x7f\x01garbage");
    fs::permissions(dir.file("no interpreter"), fs::perms::owner_all);
    const struct
    {
        std::string file;
        std::string parameters;
        int result;
    } cases[] = {
        {dir.file("record args.sh"), "'open", Launcher::badFormat},
        {dir.file("no interpreter"), "", Launcher::badFormat},
        {dir.file("missing.exe"), "", Launcher::fileNotFound},
        {"", "", Launcher::fileNotFound},
        {dir.file("plain.txt") + "/inside", "", Launcher::pathNotFound},
        // Decoded with replacement, these would start "record args.sh" with an argument "x".
        {dir.file("record args.sh") + "\x81", "", Launcher::invalidText},
        {dir.file("record args.sh"), "x\x81", Launcher::invalidText},
        {dir.file("record args.sh"), std::string("x\0y", 3), Launcher::invalidText},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file + " " + c.parameters);
        EXPECT_EQ(launcher.Open(0, c.file, c.parameters, showNormal), c.result);
    }
}

TEST_F(LauncherTest, OtherFilesGoToTheDefaultApplicationAndBareNamesStayInTheCurrentFolder)
{
    testing::writeFile(dir.file("-notes.txt"), "text");
    writeRecorder(dir.file("tool"), dir.file("args"));
    writeRecorder((bin / "tool").string(), dir.file("wrong"));
    // Through a link, "link/.." is "sub", not the folder the link lies in.
    fs::create_directories(dir.path() / "sub" / "deeper");
    fs::create_directory_symlink("sub/deeper", dir.path() / "link");
    writeRecorder(dir.file("sub/tool"), dir.file("linked"));
    testing::writeFile(dir.file("sub/other.txt"), "text");
    const fs::path saved = fs::current_path();
    fs::current_path(dir.path());
    EXPECT_EQ(launcher.Open(0, "tool", "x", showMinimized), Launcher::started);
    EXPECT_FALSE(launcher.WatchingWindows());
    EXPECT_EQ(recorded("args"), Words {"x"});
    EXPECT_EQ(launcher.Open(0, "link/../tool", "y", showNormal), Launcher::started);
    EXPECT_EQ(recorded("linked"), Words {"y"});
    const std::pair<std::string, std::string> cases[] = {
        {"-notes.txt", dir.file("-notes.txt")}, // made absolute: no option to the opener
        {dir.path().string(), dir.path().string()},
        {"link/../other.txt", dir.file("link/../other.txt")}, // the path as checked
    };
    for (const auto &[file, opened] : cases) {
        SCOPED_TRACE(file);
        EXPECT_EQ(launcher.Open(0, file, "ignored 'params", showMaximized), Launcher::started);
        EXPECT_EQ(recorded("opened"), Words {opened});
    }
    fs::current_path(saved);
    EXPECT_FALSE(fs::exists(dir.file("wrong")));
    qputenv("PATH", "/nonexistent");
    EXPECT_EQ(launcher.Open(0, dir.file("-notes.txt"), "", showNormal), Launcher::noAssociation);
}

// The window manager's state of the one window titled `title`, with its flags; empty when there is
// no such window or it is not (yet) managed.
std::string windowState(const testing::XSession &x, const std::string &title)
{
    const QStringList ids = x.Xdotool({QStringLiteral("search"), QStringLiteral("--name"),
                                       QString::fromStdString("^" + title + "$")})
                                .split(u'\n', Qt::SkipEmptyParts);
    return ids.size() == 1 ? x.WindowState(ids.front(), true).toStdString() : std::string();
}

TEST(LauncherWindowTest, FirstWindowOfEachStartTakesItsSizeUnderARealWindowManager)
{
    testing::XSession x;
    ASSERT_TRUE(x.Start(false) && x.StartWindowManager());
    const QByteArray savedDisplay = qgetenv("DISPLAY");
    qputenv("DISPLAY", x.display.toLocal8Bit());
    PosixLauncher launcher;
    PosixLauncher hasty {std::chrono::milliseconds(1000)};
    const std::string minimised = "Iconic HIDDEN";
    const std::string maximised = "Normal MAXIMIZED_VERT MAXIMIZED_HORZ";
    const struct
    {
        std::string title;
        std::string options;
        int show;
        std::string state;
    } cases[] = {
        {"startup", "--startup-id", showMinimized, minimised},
        {"pid", "--pid", showMaximized, maximised}, // right after the first: each keeps its own
        {"detached grandchild", "--pid --grandchild", showMinimized, minimised},
        {"grandchild in its own session", "--pid --grandchild --setsid", showMaximized, maximised},
        {"normal", "--startup-id --pid", showNormal, "Normal"},
        {"mapped after the bound", "--startup-id --pid --map-after 3000", showMaximized, "Normal"},
    };
    QProcess other; // a window of a program not started by the launcher, mapped meanwhile
    other.start(QStringLiteral(LAUNCHED_WINDOW), {QStringLiteral("other"), QStringLiteral("--pid")});
    for (const auto &c : cases) {
        PosixLauncher &starter = c.title == "mapped after the bound" ? hasty : launcher;
        EXPECT_EQ(starter.Open(0, LAUNCHED_WINDOW, "'" + c.title + "' " + c.options, c.show),
                  Launcher::started);
    }
    EXPECT_TRUE(launcher.WatchingWindows());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.title);
        std::string state;
        for (int waited = 0; waited < generous && (state = windowState(x, c.title)) != c.state;
             waited += 50) {
            QTest::qWait(50);
        }
        EXPECT_EQ(state, c.state);
    }
    QTest::qWait(500); // time for any wrong request to take effect
    EXPECT_EQ(windowState(x, "other"), "Normal");
    EXPECT_EQ(windowState(x, "normal"), "Normal");
    EXPECT_EQ(windowState(x, "mapped after the bound"), "Normal");
    EXPECT_FALSE(launcher.WatchingWindows()); // every window found
    EXPECT_FALSE(hasty.WatchingWindows()); // given up after its bound
    qputenv("DISPLAY", savedDisplay);
    other.kill();
    other.waitForFinished();
}

// Children of this process that have ended and were not collected.
int zombieChildren()
{
    int count = 0;
    for (const fs::directory_entry &entry : fs::directory_iterator("/proc")) {
        if (!std::isdigit(static_cast<unsigned char>(entry.path().filename().string().front()))) {
            continue;
        }
        const std::string stat = testing::readFile((entry.path() / "stat").string());
        const std::size_t close = stat.rfind(')');
        char state = 0;
        int parent = 0;
        if (close != std::string::npos
            && std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) == 2 && parent == ::getpid()
            && state == 'Z') {
            ++count;
        }
    }
    return count;
}

TEST_F(LauncherTest, StartedProgramsGetAPlainDetachedStartAndLeaveNoZombie)
{
    int leak[2];
    ASSERT_EQ(::pipe(leak), 0); // without close-on-exec
    testing::writeFile(
        dir.file("probe"),
        "#!/bin/sh\nexec > '" + dir.file("probe.part")
            + "'\n"
              "printf '%s\\0' \"$(pwd)\" \"$(readlink /proc/$$/fd/0)\" \"$(readlink /proc/$$/fd/2)\"\n"
              "[ -e /proc/$$/fd/"
            + std::to_string(leak[1])
            + " ] && printf 'leaked\\0'\n"
              "grep -E '^Sig(Blk|Ign)' /proc/$$/status | tr '\\n' '\\0'\n"
              "[ \"$(cut -d' ' -f6 /proc/$$/stat)\" = $$ ] && printf 'own session\\0'\n"
              "mv '"
            + dir.file("probe.part") + "' '" + dir.file("probed") + "'\n");
    fs::permissions(dir.file("probe"), fs::perms::owner_all);
    sigset_t usr2;
    sigemptyset(&usr2);
    sigaddset(&usr2, SIGUSR2);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &usr2, nullptr), 0);
    const auto savedUsr1 = std::signal(SIGUSR1, SIG_IGN);
    const int result = launcher.Open(0, dir.file("probe"), "", showNormal);
    std::signal(SIGUSR1, savedUsr1);
    ::pthread_sigmask(SIG_UNBLOCK, &usr2, nullptr);
    ::close(leak[0]);
    ::close(leak[1]);
    ASSERT_EQ(result, Launcher::started);
    EXPECT_EQ(recorded("probed"),
              (Words {"/dev/null", "/dev/null", "SigBlk:\t0000000000000000", "SigIgn:\t0000000000000000",
                      "own session"}));
    for (int waited = 0; waited < generous && zombieChildren() > 0; waited += 10) {
        QTest::qWait(10);
    }
    EXPECT_EQ(zombieChildren(), 0);
}

} // namespace
} // namespace belvane
