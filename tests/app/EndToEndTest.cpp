// The real program, started from a temporary program folder on a private X display with a tray host:
// an alarm sent by belvane-send starts the level's program and shows the window; SIGTERM ends it.
#include "ProgramRun.h"
#include "XSession.h"

#include <gtest/gtest.h>

#include <set>

namespace belvane {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::WaitUntil;

// The program started from its folder on a private display with a tray host, and the alarm sender.
class EndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(x.Start()) << "Xvfb and trayer are needed";
        emptyTray = x.TrayWidth();
        listBefore = readFile(folder.file("Belvane.acd"));
        settingsBefore = readFile(folder.file("Belvane.cfg"));
        filesBefore = testing::FilesIn(folder.path);

        QProcessEnvironment env = x.env;
        env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("disk"));
        env.insert(QStringLiteral("SDL_DISKAUDIOFILE"), QString::fromStdString(audio.file("out.raw")));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QString::fromStdString(folder.file("belvane")), {});
        ASSERT_TRUE(program.waitForStarted(10000));
        ASSERT_TRUE(WaitUntil([&] { return testing::Accepting(folder.port); }))
            << "listening on the settings' port";
        EXPECT_TRUE(WaitUntil([&] { return x.TrayWidth() > emptyTray; })) << "tray icon docked";
        ASSERT_TRUE(WaitUntil([&] { return Shown("Belvane"); })) << "the window is shown at start";
        window = x.VisibleWindows(QStringLiteral("Belvane")).value(0);
    }

    void TearDown() override { testing::Stop(program); }

    bool Shown(const char *title) const { return !x.VisibleWindows(QString::fromUtf8(title)).isEmpty(); }

    // Sends level 3's alarm and waits for its script's record of its arguments.
    void SendAlarmAndExpectItsProgramRun()
    {
        QProcess send;
        send.start(QStringLiteral(BELVANE_PROGRAM_DIR "/belvane-send"),
                   {QStringLiteral("--port"), QString::number(folder.port), QStringLiteral("--sender"),
                    QStringLiteral("経理部PC"), QStringLiteral("--message"), QStringLiteral("お昼です"),
                    QStringLiteral("--level"), QStringLiteral("3")});
        ASSERT_TRUE(send.waitForFinished(10000));
        EXPECT_EQ(send.exitCode(), 0) << send.readAllStandardError().toStdString();

        ASSERT_TRUE(WaitUntil([&] { return !folder.scriptOutput().empty(); }));
        EXPECT_EQ(folder.scriptOutput(), "alpha\ntwo words\nsingle quoted\nback slash\n");
        EXPECT_TRUE(WaitUntil([&] { return Shown("Belvane"); })) << "the alarm is shown";
    }

    void TerminateAndExpectFilesIntact()
    {
        program.terminate();
        ASSERT_TRUE(program.waitForFinished(10000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_TRUE(WaitUntil([&] { return x.TrayWidth() == emptyTray; })) << "tray icon removed";

        EXPECT_EQ(readFile(folder.file("Belvane.acd")), listBefore);
        EXPECT_EQ(readFile(folder.file("Belvane.cfg")), settingsBefore);
        std::set<std::string> expected = filesBefore;
        expected.insert("record-arguments.sh.out");
        EXPECT_EQ(testing::FilesIn(folder.path), expected);
    }

    testing::XSession x;
    testing::ProgramCopy folder {BELVANE_PROGRAM_DIR};
    TempDir audio;
    QProcess program;
    QString window;
    int emptyTray = 0;
    std::string listBefore;
    std::string settingsBefore;
    std::set<std::string> filesBefore;
};

TEST_F(EndToEndTest, AlarmRunsTheLevelsProgramShowsTheWindowAndSigtermEndsCleanly)
{
    // The confirm button has the focus: Return hides the window until the next alarm.
    // On a loaded machine the key can arrive before the program has taken the focus; it is then
    // pressed again, which a hidden window can no longer receive.
    ASSERT_TRUE(WaitUntil([&] {
        x.Xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
        x.Xdotool({QStringLiteral("key"), QStringLiteral("Return")});
        return WaitUntil([&] { return !Shown("Belvane"); }, std::chrono::seconds(1));
    })) << "confirmed and hidden";

    SendAlarmAndExpectItsProgramRun();
    TerminateAndExpectFilesIntact();
}

TEST_F(EndToEndTest, AlarmIsShownAndPerformedWhileTheSettingsDialogIsOpen)
{
    // A right click on the window's surface opens the menu; its second entry is the settings dialog.
    x.Xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QStringLiteral("--window"), window,
               QStringLiteral("450"), QStringLiteral("140")});
    x.Xdotool({QStringLiteral("click"), QStringLiteral("3")});
    x.Xdotool(
        {QStringLiteral("key"), QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")});
    ASSERT_TRUE(WaitUntil([&] { return Shown("環境設定"); })) << "the settings dialog is open";

    SendAlarmAndExpectItsProgramRun();
    EXPECT_TRUE(Shown("環境設定")) << "the dialog stays open";
    TerminateAndExpectFilesIntact();
}

} // namespace
} // namespace belvane
