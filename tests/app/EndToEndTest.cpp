// The real program, started from a temporary program folder on a private X display with a tray host:
// an alarm sent by belvane-send starts the level's program and shows the window, also while the
// settings dialog is open; SIGTERM ends it and leaves the user's files as they were.
#include "ProgramRun.h"
#include "XSession.h"

#include <gtest/gtest.h>

namespace belvane {
namespace {

using testing::readFile;
using testing::WaitUntil;

TEST(EndToEndTest, AlarmRunsTheLevelsProgramAlsoUnderTheSettingsDialogAndSigtermEndsCleanly)
{
    testing::XSession x;
    ASSERT_TRUE(x.Start()) << "Xvfb and trayer are needed";
    const int emptyTray = x.TrayWidth();
    testing::ProgramCopy folder {BELVANE_PROGRAM_DIR};
    const std::string list = readFile(folder.file("Belvane.acd"));
    const std::string settings = readFile(folder.file("Belvane.cfg"));
    std::set<std::string> files = testing::FilesIn(folder.path);
    const auto shown = [&](const char *title) {
        return !x.VisibleWindows(QString::fromUtf8(title)).isEmpty();
    };

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    ASSERT_TRUE(testing::Launch(program, folder.file("belvane"), x.env));
    ASSERT_TRUE(WaitUntil([&] { return testing::Accepting(folder.port); }))
        << "listening on the settings' port";
    EXPECT_TRUE(WaitUntil([&] { return x.TrayWidth() > emptyTray; })) << "tray icon docked";
    ASSERT_TRUE(WaitUntil([&] { return shown("Belvane"); })) << "the window is shown at start";
    const QString window = x.VisibleWindows(QStringLiteral("Belvane")).value(0);
    // The confirm button has the focus: Return hides the window until the next alarm.
    ASSERT_TRUE(x.PressReturnUntil(window, [&] { return !shown("Belvane"); })) << "confirmed and hidden";

    ASSERT_TRUE(testing::SendAlarm(folder.port, 3, QStringLiteral("経理部PC"), QStringLiteral("お昼です")));
    ASSERT_TRUE(WaitUntil([&] { return !folder.scriptOutput().empty(); }));
    EXPECT_EQ(folder.scriptOutput(), "alpha\ntwo words\nsingle quoted\nback slash\n");
    EXPECT_TRUE(WaitUntil([&] { return shown("Belvane"); })) << "the alarm is shown";

    // A right click on the window's surface opens the menu; its second entry is the settings dialog.
    x.Xdotool(testing::Words("mousemove --sync --window")
              << window << QStringLiteral("450") << QStringLiteral("140"));
    x.Xdotool(testing::Words("click 3"));
    x.Xdotool(testing::Words("key Down Down Return"));
    ASSERT_TRUE(WaitUntil([&] { return shown("環境設定"); })) << "the settings dialog is open";
    ASSERT_TRUE(testing::SendAlarm(folder.port, 3));
    EXPECT_TRUE(WaitUntil([&] { return folder.scriptOutput().size() > 41; })) << "performed under the dialog";
    EXPECT_TRUE(shown("環境設定")) << "the dialog stays open";

    EXPECT_TRUE(testing::EndsCleanly(program));
    EXPECT_TRUE(WaitUntil([&] { return x.TrayWidth() == emptyTray; })) << "tray icon removed";
    EXPECT_EQ(readFile(folder.file("Belvane.acd")), list);
    EXPECT_EQ(readFile(folder.file("Belvane.cfg")), settings);
    files.insert("record-arguments.sh.out");
    EXPECT_EQ(testing::FilesIn(folder.path), files);
    testing::Stop(program);
}

} // namespace
} // namespace belvane
