// The real program where parts of the desktop are missing (display, tray, audio device) or come late,
// its sound files are, or its port is taken; a second copy on the same folder; its command line and
// signals.
#include "LoopbackClient.h"
#include "ProgramRun.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>

namespace belvane {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// Whether 16-bit samples in the disk audio driver's output are anything but silence.
bool audible(const std::string &path)
{
    const std::string bytes = readFile(path); // empty when the device was never opened
    std::vector<std::int16_t> samples(bytes.size() / 2);
    if (!samples.empty()) { // memcpy takes no null pointer, not even for nothing
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    }
    return std::ranges::any_of(samples, [](std::int16_t sample) { return sample > 64 || sample < -64; });
}

struct Desktop
{
    bool display = true, tray = true, windowManager = false;
    const char *audioDriver = "disk";
};

class ProgramFaultTest : public ::testing::Test
{
protected:
    // The environment with what `desktop` offers; the display is started on first use.
    QProcessEnvironment environment(const Desktop &desktop)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (desktop.display) {
            if (x.display.isEmpty()
                && (!x.start(desktop.tray) || (desktop.windowManager && !x.startWindowManager()))) {
                ADD_FAILURE() << "Xvfb, trayer and openbox are needed";
            }
            env = x.env;
        } else {
            for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
                env.remove(QString::fromLatin1(name));
            }
        }
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QString::fromLatin1(desktop.audioDriver));
        env.insert(QStringLiteral("SDL_DISKAUDIOFILE"), QString::fromStdString(audioFile));
        return env;
    }

    // Starts the program with what `desktop` offers; false when it does not come to listen. Its standard
    // error is passed on, or kept for expectEnds.
    bool start(const Desktop &desktop, QProcess::ProcessChannelMode channels = QProcess::ForwardedChannels)
    {
        program.setProcessChannelMode(channels);
        return launch(program, folder.file("belvane"), environment(desktop))
            && waitUntil([&] { return accepting(folder.port); });
    }

    // Runs a copy that is expected to end by itself with `status`, having said `said` on its standard
    // error, and gives its standard error.
    std::string expectEnds(QProcess &process, int status, const std::string &said = {})
    {
        EXPECT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(std::pair(process.exitStatus(), process.exitCode()),
                  std::pair(QProcess::NormalExit, status));
        const std::string standardError = process.readAllStandardError().toStdString();
        EXPECT_NE(standardError.find(said), std::string::npos) << standardError;
        return standardError;
    }

    // Presses Return on the message box `box` until it is gone.
    void dismiss(const QString &box)
    {
        EXPECT_TRUE(x.pressReturnUntil(box, [&] { return !x.visibleWindows().contains(box); }))
            << "the message box is dismissed";
    }

    void TearDown() override { stop(program); }

    ProgramCopy folder {BELVANE_PROGRAM_DIR};
    std::string audioFile = folder.file("out.raw");
    XSession x;
    QProcess program;
};

TEST_F(ProgramFaultTest,
       HeadlessOneCopyPerFolderATakenPortEndsItAMissingSoundIsSkippedABrokenOneAlertsAndSighupEnds)
{
    fs::remove(folder.file("Malarm.wav"));
    writeFile(folder.file("Salarm.wav"), "this is not a wave file\n");
    writeFile(folder.script, "#!/bin/sh\nprintf '%s\\n' \"${QT_QPA_PLATFORM-unset}\" >> \"$0.out\"\n");
    // What replacements cut short by a crash left is removed at the start (which names, the storage
    // tests say); a second copy, which does not run, removes nothing (the first could be writing it).
    for (const char *name : {".Belvane.acd.41-0-7", ".Belvane.cfg.41-1-7"}) {
        writeFile(folder.file(name), "x");
    }
    ASSERT_TRUE(start({.display = false}, QProcess::ForwardedOutputChannel));
    const std::string list = readFile(folder.file("Belvane.acd"));
    EXPECT_FALSE(fs::exists(folder.file(".Belvane.acd.41-0-7"))
                 || fs::exists(folder.file(".Belvane.cfg.41-1-7")));
    writeFile(folder.file(".Belvane.acd.42-0-7"), "x");
    QProcess second;
    ASSERT_TRUE(launch(second, folder.file("belvane"), environment({.display = false})));
    expectEnds(second, 1, "すでに動いています");
    EXPECT_TRUE(fs::exists(folder.file(".Belvane.acd.42-0-7")));
    // A copy in another folder is no second copy: it comes as far as the port, which this one holds.
    ProgramCopy elsewhere(BELVANE_PROGRAM_DIR);
    writeFile(elsewhere.file("Belvane.cfg"), settingsImage(folder.port));
    ASSERT_TRUE(launch(second, elsewhere.file("belvane"), environment({.display = false})));
    expectEnds(second, 1, "ポート " + std::to_string(folder.port) + " でアラームを受信できません");
    // An argument it does not know ends it with its usage (the packaging test reads --help and --version).
    ASSERT_TRUE(launch(second, folder.file("belvane"), environment({.display = false}), {"-h", "x"}));
    expectEnds(second, 2, "Usage: belvane");

    ASSERT_TRUE(sendAlarm(folder.port, 0)); // Malarm.wav, missing
    ASSERT_TRUE(sendAlarm(folder.port, 3));
    EXPECT_TRUE(waitUntil([&] { return folder.scriptOutput() == "unset\n"; }))
        << "its programs do not inherit the platform: " << folder.scriptOutput();
    EXPECT_FALSE(fs::exists(audioFile)) << "a missing file is not performed: no device opened";
    ASSERT_TRUE(sendAlarm(folder.port, 1));
    EXPECT_TRUE(waitUntil([&] { return audible(audioFile); })) << "the built-in alert sounds";

    EXPECT_EQ(readFile(folder.file("Belvane.acd")), list);
    EXPECT_EQ(readFile(folder.file("Salarm.wav")), "this is not a wave file\n");
    EXPECT_FALSE(fs::exists(folder.file("Malarm.wav")));
    // Ended as systemd ends a session's scope, by SIGTERM and at once SIGHUP: one ending, in which a
    // sender still connected (taken in: the program holds one descriptor more) has its alarm performed
    // and logged before the closing line.
    const pid_t pid = static_cast<pid_t>(program.processId());
    const std::string descriptors = "/proc/" + std::to_string(pid) + "/fd";
    const auto before = filesIn(descriptors).size();
    const LoopbackClient open(folder.port);
    ASSERT_TRUE(open.send("#Sender=open\n#Message=m\n#Level=3\n"));
    ASSERT_TRUE(waitUntil([&] { return filesIn(descriptors).size() > before; }));
    ::kill(pid, SIGTERM);
    ::kill(pid, SIGHUP);
    const std::string logged = expectEnds(program, 0);
    EXPECT_EQ(folder.scriptOutput(), "unset\nunset\n");
    EXPECT_NE(logged.find("終了します", logged.find("送信者 \"open\" レベル 3")), std::string::npos)
        << logged;
}

TEST_F(ProgramFaultTest, WithADisplayATakenPortIsToldInABoxAndTheProgramStays)
{
    // The program stays, with its tray icon, so that the port can be changed.
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::AnyIPv4, folder.port));
    ASSERT_TRUE(x.start());
    const int emptyTray = x.trayWidth();
    ASSERT_TRUE(launch(program, folder.file("belvane"), environment({})));
    QString box;
    ASSERT_TRUE(waitUntil([&] { return !(box = x.visibleWindows().value(0)).isEmpty(); }));
    EXPECT_TRUE(waitUntil([&] { return x.trayWidth() > emptyTray; })) << "tray icon docked";
    dismiss(box);
    EXPECT_TRUE(waitUntil([&] { return !x.visibleWindows().isEmpty(); })) << "the alarm window follows";
    EXPECT_TRUE(endsCleanly(program)) << "still running";
}

TEST_F(ProgramFaultTest, WithoutATrayASecondCopyIsToldInABoxConfirmMinimisesAndATrayHostIsFollowed)
{
    // Without an audio device too: the alarm's sound fails quietly.
    ASSERT_TRUE(start({.tray = false, .windowManager = true, .audioDriver = "no-such-driver"}));
    ASSERT_TRUE(waitUntil([&] { return !x.visibleWindows().isEmpty(); }));
    const QString window = x.visibleWindows().value(0);
    // Whether the window comes to be in state `expected`, with Return pressed on it when `confirm`.
    const auto state = [&](const char *expected, bool confirm = false) {
        const std::function<bool()> reached([&] { return x.windowState(window) == QLatin1String(expected); });
        return confirm ? x.pressReturnUntil(window, reached) : waitUntil(reached);
    };
    ASSERT_TRUE(state("Normal"));
    // A second copy says in a message box that one runs, and ends once the user has read it.
    QProcess second;
    ASSERT_TRUE(launch(second, folder.file("belvane"), environment({})));
    QStringList shown;
    ASSERT_TRUE(waitUntil([&] { return (shown = x.visibleWindows()).size() == 2; }));
    shown.removeAll(window);
    EXPECT_EQ(second.state(), QProcess::Running) << "the box waits for the user";
    dismiss(shown.value(0));
    expectEnds(second, 1);
    EXPECT_TRUE(state("Iconic", true)) << "minimised, in the taskbar, since no tray leads back";
    ASSERT_TRUE(sendAlarm(folder.port, 0));
    EXPECT_TRUE(state("Normal")) << "the next alarm restores it";

    const int noIcon = x.trayWidth();
    ASSERT_TRUE(x.startTray());
    EXPECT_TRUE(waitUntil([&] { return x.trayWidth() > noIcon; })) << "the icon docks in a tray come later";
    EXPECT_TRUE(state("", true)) << "with a tray the confirmed window hides";
    EXPECT_TRUE(x.visibleWindows().isEmpty());
    x.stopTray();
    EXPECT_TRUE(state("Iconic")) << "the tray went: the window is back in the taskbar, minimised";
    ASSERT_TRUE(sendAlarm(folder.port, 3));
    EXPECT_TRUE(waitUntil([&] { return !folder.scriptOutput().empty(); })) << "level 3's program ran";
    EXPECT_TRUE(endsCleanly(program));
}

TEST_F(ProgramFaultTest, AHeadlessCopyWhoseDisplayCameLateHandsOverToACopyThatHasIt)
{
    // Started before its display is up, the program runs headless with an alarm's connection open; a
    // copy started once the display is there asks it for the folder: it performs the open alarm and
    // ends, and the new copy receives the next alarm and shows it.
    // The socket of a copy that ended abruptly, which nobody answers on, is in the way.
    const int stale = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {.sun_family = AF_UNIX, .sun_path = {}};
    folder.file(".belvane.sock").copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::close(stale);
    const QString late = XSession::unusedDisplay();
    QProcessEnvironment env = environment({.display = false});
    env.insert(QStringLiteral("DISPLAY"), late);
    ASSERT_TRUE(launch(program, folder.file("belvane"), env));
    ASSERT_TRUE(waitUntil([&] { return accepting(folder.port); }));
    const LoopbackClient open(folder.port);
    ASSERT_TRUE(open.send("#Sender=PC1\n#Message=open\n#Level=3\n"));
    ASSERT_TRUE(x.start(true, late)) << "Xvfb and trayer are needed";
    QProcess second;
    ASSERT_TRUE(launch(second, folder.file("belvane"), environment({})));
    expectEnds(program, 0, "引き継ぎを頼まれました");
    EXPECT_TRUE(waitUntil([&] { return !folder.scriptOutput().empty(); }))
        << "the open connection's alarm was performed";
    fs::remove(folder.script + ".out");
    ASSERT_TRUE(waitUntil([&] { return accepting(folder.port); }));
    ASSERT_TRUE(sendAlarm(folder.port, 3));
    EXPECT_TRUE(waitUntil([&] { return !folder.scriptOutput().empty(); })) << "the new copy performs it";
    EXPECT_TRUE(waitUntil([&] { return !x.visibleWindows().isEmpty(); })) << "and shows it";
    second.terminate();
    expectEnds(second, 0, "このフォルダを引き継ぎました");
}

} // namespace
} // namespace belvane
