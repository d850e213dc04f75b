// The real program, started from a temporary program folder on a private X display with a tray host:
// an alarm sent by belvane-send starts the level's program and shows the window; SIGTERM ends it.
#include "ActionListFile.h"
#include "SettingsFile.h"
#include "TempDir.h"
#include "XSession.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace belvane {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::WaitUntil;
using testing::writeFile;

namespace fs = std::filesystem;

quint16 FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

bool Accepting(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    const bool up = socket.waitForConnected(200);
    socket.abort();
    return up;
}

std::set<std::string> FilesIn(const fs::path &folder)
{
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// A program folder holding the built program and its files, a list whose level 3 runs a script that
// writes its arguments one per line, and settings naming a free port.
struct ProgramFolderSetUp
{
    ProgramFolderSetUp()
    {
        for (const char *name : {"belvane", "Malarm.wav", "Salarm.wav", "README.md"}) {
            fs::copy_file(fs::path(BELVANE_PROGRAM_DIR) / name, dir.path() / name);
        }
        script = dir.file("record-arguments.sh");
        writeFile(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.out\"\n");
        fs::permissions(script, fs::perms::owner_all);

        ActionListFile list;
        list.CreateDefault(dir.file("Belvane.acd"), dir.path().string() + "/");
        ActionRecord level3;
        level3.enabled = 1;
        setFieldText(level3.actionFile, script);
        setFieldText(level3.parameters, "alpha \"two words\" 'single quoted' back\\ slash");
        list.OpenOrCreate(0, dir.file("Belvane.acd"));
        list.BeginWrite();
        list.WriteRecord(3, level3);
        list.Close();

        port = FreePort();
        SettingsRecord settings;
        settings.port = port;
        const auto image = settings.toBytes();
        writeFile(dir.file("Belvane.cfg"),
                  std::string(reinterpret_cast<const char *>(image.data()), image.size()));
    }

    TempDir dir;
    std::string script;
    quint16 port = 0;
};

TEST(EndToEndTest, AlarmRunsTheLevelsProgramShowsTheWindowAndSigtermEndsCleanly)
{
    testing::XSession x;
    ASSERT_TRUE(x.Start()) << "Xvfb and trayer are needed";
    const int emptyTray = x.TrayWidth();

    ProgramFolderSetUp folder;
    const std::string listBefore = readFile(folder.dir.file("Belvane.acd"));
    const std::string settingsBefore = readFile(folder.dir.file("Belvane.cfg"));
    const std::set<std::string> filesBefore = FilesIn(folder.dir.path());

    TempDir audio;
    QProcessEnvironment env = x.env;
    env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("disk"));
    env.insert(QStringLiteral("SDL_DISKAUDIOFILE"), QString::fromStdString(audio.file("out.raw")));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QString::fromStdString(folder.dir.file("belvane")), {});
    ASSERT_TRUE(program.waitForStarted(10000));
    ASSERT_TRUE(WaitUntil([&] { return Accepting(folder.port); })) << "listening on the settings' port";
    EXPECT_TRUE(WaitUntil([&] { return x.TrayWidth() > emptyTray; })) << "tray icon docked";
    const auto windowShown = [&] {
        return !x.VisibleWindows(QStringLiteral("Belvane")).isEmpty();
    };
    ASSERT_TRUE(WaitUntil(windowShown)) << "the window is shown at start";
    // The confirm button has the focus: Return hides the window until the next alarm.
    const QString window = x.VisibleWindows(QStringLiteral("Belvane")).value(0);
    x.Xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    x.Xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    ASSERT_TRUE(WaitUntil([&] { return !windowShown(); })) << "confirmed and hidden";

    QProcess send;
    send.start(QStringLiteral(BELVANE_PROGRAM_DIR "/belvane-send"),
               {QStringLiteral("--port"), QString::number(folder.port), QStringLiteral("--sender"),
                QStringLiteral("経理部PC"), QStringLiteral("--message"), QStringLiteral("お昼です"),
                QStringLiteral("--level"), QStringLiteral("3")});
    ASSERT_TRUE(send.waitForFinished(10000));
    EXPECT_EQ(send.exitCode(), 0) << send.readAllStandardError().toStdString();

    const std::string output = folder.script + ".out";
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(output) && !readFile(output).empty(); }));
    EXPECT_EQ(readFile(output), "alpha\ntwo words\nsingle quoted\nback slash\n");
    EXPECT_TRUE(WaitUntil(windowShown)) << "the alarm is shown";

    program.terminate();
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(WaitUntil([&] { return x.TrayWidth() == emptyTray; })) << "tray icon removed";

    EXPECT_EQ(readFile(folder.dir.file("Belvane.acd")), listBefore);
    EXPECT_EQ(readFile(folder.dir.file("Belvane.cfg")), settingsBefore);
    std::set<std::string> expected = filesBefore;
    expected.insert("record-arguments.sh.out");
    EXPECT_EQ(FilesIn(folder.dir.path()), expected);
}

} // namespace
} // namespace belvane

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
