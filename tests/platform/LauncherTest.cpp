#include "PosixLauncher.h"
#include "TempDir.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace belvane {
namespace {

namespace fs = std::filesystem;
using namespace testing;

// A shell script whose output goes into the file `record`, complete once the script has ended; by
// default it records the folder it runs in and its arguments, one a line.
void writeScript(const std::string &path, const std::string &record,
                 const std::string &body = R"sh(printf '%s\n' "$(pwd)" "$@")sh")
{
    const std::string part = "'" + record + ".part'";
    writeFile(path, "#!/bin/sh\nexec > " + part + "\n" + body + "\nmv " + part + " '" + record + "'\n");
    fs::permissions(path, fs::perms::owner_all);
}

// Runs in its folder, with a recording xdg-open first in PATH and no display.
struct LauncherTest : ::testing::Test
{
    void SetUp() override
    {
        fs::create_directory(dir.path() / "bin");
        writeScript(dir.file("bin/xdg-open"), dir.file("opened"));
        writeScript(dir.file("a b"), dir.file("args"));
        qputenv("PATH", QByteArray::fromStdString(dir.file("bin:")) + savedPath);
        qunsetenv("DISPLAY"); // no X11: a window size changes nothing
        fs::current_path(dir.path());
    }
    void TearDown() override
    {
        fs::current_path(savedFolder);
        qputenv("PATH", savedPath);
        qputenv("DISPLAY", savedDisplay);
    }

    // What a started program recorded into `name`; empty when it never ran.
    std::string recorded(const std::string &name)
    {
        waitUntil([&] { return fs::exists(dir.file(name)); });
        const std::string text = readFile(dir.file(name));
        fs::remove(dir.file(name));
        return text;
    }

    TempDir dir;
    const std::string folder = dir.path().string();
    const fs::path savedFolder = fs::current_path();
    const QByteArray savedPath = qgetenv("PATH");
    const QByteArray savedDisplay = qgetenv("DISPLAY");
    PosixLauncher launcher;
};

TEST_F(LauncherTest, ExecutablesGetShellWordsAndACleanDetachedStartOtherFilesTheDefaultAppTheRestIsRefused)
{
    writeScript(dir.file("bin/a b"), dir.file("wrong")); // a bare name stays in the current folder
    writeFile(dir.file("-notes.txt"), "text");
    // Through a link, "link/.." is "sub", not the folder the link lies in.
    fs::create_directories(dir.path() / "sub" / "deeper");
    fs::create_directory_symlink("sub/deeper", dir.path() / "link");
    writeScript(dir.file("sub/tool"), dir.file("linked"));
    const std::tuple<std::string, std::string, std::string, std::string> started[] = {
        {"a b", "", "args", ""},
        {"a b", " a  b\tc ", "args", "a\nb\nc\n"},
        {"a b", "'two words' \"x y\" mixed' 'quote\"s\"", "args", "two words\nx y\nmixed quotes\n"},
        {"a b", R"("a\"b\\c\$d\`e\f" '' "")", "args", "a\"b\\c$d`e\\f\n\n\n"},
        {"a b", R"(a\ b \'c \"d back\\)", "args", "a b\n'c\n\"d\nback\\\n"},
        {"a b", "join\\\ned \"in\\\nside\"", "args", "joined\ninside\n"},
        {"a b", "C:\\dir\\", "args", "C:dir\\\n"}, // a backslash at the very end is kept
        {"a b", "$HOME * ; | > `ls` ~ #c", "args", "$HOME\n*\n;\n|\n>\n`ls`\n~\n#c\n"},
        {"a b", "\x95\x5C \x83\x5C", "args", "表\nソ\n"}, // cp932 trail byte 0x5C is no backslash
        {"link/../tool", "y", "linked", "y\n"},
        // Parameters stay unread; made absolute, a name is no option to the opener.
        {"-notes.txt", "'unread", "opened", folder + "/-notes.txt\n"},
        {folder, "", "opened", folder + "\n"},
    };
    for (const auto &[file, parameters, record, words] : started) {
        SCOPED_TRACE(file + " " + parameters);
        EXPECT_EQ(launcher.open(0, file, parameters, showMinimized), LaunchResult::Started);
        EXPECT_EQ(recorded(record), folder + "\n" + words);
    }
    EXPECT_FALSE(launcher.watchingWindows());
    EXPECT_FALSE(fs::exists(dir.file("wrong")));
    writeFile(dir.file("no interpreter"), "\x7f\x01garbage");
    fs::permissions(dir.file("no interpreter"), fs::perms::owner_all);
    const std::tuple<std::string, std::string, LaunchResult> refused[] = {
        {"a b", "'open", LaunchResult::BadFormat},
        {"no interpreter", "", LaunchResult::BadFormat},
        {"missing.exe", "", LaunchResult::FileNotFound},
        {"", "", LaunchResult::FileNotFound},
        {"-notes.txt/inside", "", LaunchResult::PathNotFound},
        // Decoded with replacement, these would start the script with an argument "x".
        {"a b\x81", "", LaunchResult::InvalidText},
        {"a b", "x\x81", LaunchResult::InvalidText},
        {"a b", std::string("x\0y", 3), LaunchResult::InvalidText},
    };
    for (const auto &[file, parameters, result] : refused) {
        EXPECT_EQ(launcher.open(0, file, parameters, showNormal), result) << file << " " << parameters;
    }
    writeScript(dir.file("probe"), dir.file("probed"), R"sh(echo $$
readlink /proc/$$/fd/0 /proc/$$/fd/2
[ -e /proc/$$/fd/3 ] && echo leaked
while read -r key value; do case $key in SigBlk:|SigIgn:) printf '%s\t%s\n' $key $value;; esac; done < /proc/$$/status
[ "$(cut -d' ' -f6 /proc/$$/stat)" = $$ ] && echo own session)sh");
    // The signal masks are read by the shell itself: a child it forks could catch it inside fork, with
    // every signal blocked for the moment. Descriptor 3 without close-on-exec, the first one a program could
    // inherit (Qt's own is set aside meanwhile), a blocked and an ignored signal.
    const int qt = ::fcntl(3, F_DUPFD_CLOEXEC, 3);
    ASSERT_EQ(::dup2(STDIN_FILENO, 3), 3);
    sigset_t usr2;
    sigemptyset(&usr2);
    sigaddset(&usr2, SIGUSR2);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &usr2, nullptr), 0);
    const auto savedUsr1 = std::signal(SIGUSR1, SIG_IGN);
    EXPECT_EQ(launcher.open(0, "probe", "", showNormal), LaunchResult::Started);
    std::signal(SIGUSR1, savedUsr1);
    ::pthread_sigmask(SIG_UNBLOCK, &usr2, nullptr);
    ::dup3(qt, 3, O_CLOEXEC);
    ::close(qt);
    const std::string probed = recorded("probed");
    EXPECT_EQ(probed.substr(probed.find('\n') + 1),
              "/dev/null\n/dev/null\nSigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\nown session\n");
    // Once the probe (its id the first line) has ended, it is gone: a child left uncollected would stay a
    // zombie, which a signal still reaches.
    const pid_t probe = std::stoi(probed);
    EXPECT_TRUE(waitUntil([&] { return ::kill(probe, 0) != 0 && errno == ESRCH; }));

    // With room for no descriptor past the standard three, closing the others cannot even be asked for:
    // then nothing starts, rather than a program that holds this program's descriptors.
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const rlimit three {3, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &three), 0);
    EXPECT_EQ(launcher.open(0, "probe", "", showNormal), LaunchResult::BadFormat);
    ::setrlimit(RLIMIT_NOFILE, &saved);

    qputenv("PATH", "/nonexistent");
    EXPECT_EQ(launcher.open(0, "-notes.txt", "", showNormal), LaunchResult::NoAssociation);
}

TEST_F(LauncherTest, FirstWindowOfEachStartTakesItsSizeUnderARealWindowManager)
{
    XSession x;
    ASSERT_TRUE(x.start(false) && x.startWindowManager());
    qputenv("DISPLAY", x.display.toLocal8Bit());
    // The window manager's state of the one window titled `title`, with its flags; empty while there
    // is no such window or it is not managed yet.
    const auto state = [&x](const std::string &title) {
        const QStringList ids = x.xdotool(words("search --name") << QString::fromStdString("^" + title + "$"))
                                    .split(u'\n', Qt::SkipEmptyParts);
        return ids.size() == 1 ? x.windowState(ids.front(), true).toStdString() : std::string();
    };
    PosixLauncher hasty {std::chrono::milliseconds(1000)};
    const std::string minimised = "Iconic HIDDEN", maximised = "Normal MAXIMIZED_VERT MAXIMIZED_HORZ";
    // Each started through a shell that runs the window program as "$0" with the title as "$1".
    const std::tuple<std::string, std::string, int, std::string> cases[] = {
        {"startup", R"(exec "$0" "$1" --startup-id)", showMinimized, minimised},
        {"pid", R"(exec "$0" "$1" --pid)", showMaximized, maximised}, // right after the first: each its own
        {"detached grandchild", R"(("$0" "$1" --pid &))", showMinimized, minimised},
        {"child in its own session", R"(setsid -w "$0" "$1" --pid)", showMaximized, maximised},
        {"normal", R"(exec "$0" "$1" --startup-id --pid)", showNormal, "Normal"},
        {"after the bound", R"(sleep 3; exec "$0" "$1" --startup-id --pid)", showMaximized, "Normal"},
    };
    // A window of a program not started by the launcher, mapped meanwhile; it ends with the display.
    ASSERT_EQ(std::system(LAUNCHED_WINDOW " other --pid &"), 0);
    for (const auto &[title, command, show, wanted] : cases) {
        SCOPED_TRACE(title);
        PosixLauncher &starter = title == "after the bound" ? hasty : launcher;
        const std::string parameters = "-c '" + command + "' '" LAUNCHED_WINDOW "' '" + title + "'";
        EXPECT_EQ(starter.open(0, "/bin/sh", parameters, show), LaunchResult::Started);
    }
    for (const auto &[title, command, show, wanted] : cases) {
        EXPECT_TRUE(waitUntil([&, t = title, w = wanted] { return state(t) == w; }))
            << title << ": " << state(title);
    }
    // Once neither watches (every window found; given up after the bound), no request can follow, and
    // two activations through the window manager (at least one a real change) have it act first on any
    // request sent before them.
    EXPECT_TRUE(waitUntil([&] { return !launcher.watchingWindows() && !hasty.watchingWindows(); }));
    for (const char *title : {"other", "normal"}) {
        x.xdotool(words("search --name")
                  << QStringLiteral("^%1$").arg(title) << words("windowactivate --sync"));
    }
    for (const char *title : {"other", "normal", "after the bound"}) {
        EXPECT_EQ(state(title), "Normal") << title;
    }
}

} // namespace
} // namespace belvane
