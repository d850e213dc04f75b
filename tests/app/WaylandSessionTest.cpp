// The real program in pure Wayland sessions, on headless compositors: under weston it receives and
// performs alarms with nothing of Qt's on standard error, and with Qt's Wayland plugin hidden from it (a
// mount namespace of its own with the plugin files covered) it runs on headless after one line saying so,
// instead of aborting. Under sway, a tiling compositor (run as an ordinary user), its window floats at
// its own size without a title bar.
#include "WaylandSession.h"
#include "ProgramRun.h"

#include <QLibraryInfo>

#include <gtest/gtest.h>

namespace belvane {
namespace {

using namespace testing;

TEST(WaylandSessionTest, AlarmsArePerformedQuietlyWithoutQtsPluginHeadlessAndUnderSwayTheWindowFloats)
{
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    const QStringList plugins = platforms.entryList({QStringLiteral("libqwayland*.so")});
    ASSERT_FALSE(plugins.isEmpty()) << "qt6-wayland is needed";
    const QString headless = "belvane: the display cannot be used (Qt platform \"wayland\": its plugin is "
                             "missing or the display refused); receiving alarms without showing them.";
    using enum WaylandSession::Compositor;
    for (const auto &[compositor, hidePlugin] : {std::pair {Weston, false}, {Sway, false}, {Weston, true}}) {
        SCOPED_TRACE(compositor == Sway ? "sway" : hidePlugin ? "weston, plugin hidden" : "weston");
        if (hidePlugin && QProcess::execute(QStringLiteral("unshare"), words("-m true")) != 0) {
            GTEST_SKIP() << "hiding the plugin takes a mount namespace of its own, which needs root (and a "
                            "container that allows it)";
        }
        WaylandSession session;
        ASSERT_TRUE(session.start(compositor)) << "the compositor did not come up; " << session.output();
        ProgramCopy folder {BELVANE_PROGRAM_DIR};
        session.giveToUser(folder.path);
        QProcess program;
        program.setProcessEnvironment(session.env);
        program.setProgram(QString::fromStdString(folder.file("belvane")));
        if (hidePlugin) {
            program.setArguments(words("-m sh -c")
                                 << QStringLiteral("p=$1; d=$2; shift 2; for f; do mount --bind /dev/null "
                                                   "\"$d/$f\" || exit 97; done; exec \"$p\"")
                                 << QStringLiteral("sh") << program.program() << platforms.path() << plugins);
            program.setProgram(QStringLiteral("unshare"));
        }
        session.prefix(program);
        program.start();
        ASSERT_TRUE(program.waitForStarted(10000));
        ASSERT_TRUE(
            waitUntil([&] { return accepting(folder.port) || program.state() != QProcess::Running; }));
        ASSERT_EQ(program.state(), QProcess::Running) << program.readAllStandardError().toStdString();
        // Under sway the window floats at its own size without a title bar, at the start as for an alarm.
        for (const bool afterAlarm : {false, true}) {
            if (afterAlarm) {
                ASSERT_TRUE(sendAlarm(folder.port, 3));
                EXPECT_TRUE(waitUntil([&] { return !folder.scriptOutput().empty(); }))
                    << "level 3's program ran";
            }
            QJsonObject window;
            if (compositor == Sway) {
                ASSERT_TRUE(waitUntil([&] { return !(window = session.swayWindow("belvane")).isEmpty(); }))
                    << "a window with the program's app id, after an alarm: " << afterAlarm;
                EXPECT_EQ(window["type"].toString(), QStringLiteral("floating_con"));
                const QJsonObject rect = window["rect"].toObject();
                EXPECT_EQ(std::pair(rect["width"].toInt(), rect["height"].toInt()), std::pair(500, 155));
                EXPECT_NE(window["border"].toString(), QStringLiteral("normal"));
            }
        }
        EXPECT_TRUE(endsCleanly(program));
        // Nothing from Qt: every line is the program's own.
        const QString standardError = QString::fromLocal8Bit(program.readAllStandardError());
        for (const QString &line : standardError.split(u'\n', Qt::SkipEmptyParts)) {
            EXPECT_TRUE(line.startsWith(QLatin1String("belvane"))) << line.toStdString();
        }
        EXPECT_EQ(standardError.count(headless), hidePlugin ? 1 : 0) << standardError.toStdString();
    }
}

} // namespace
} // namespace belvane
