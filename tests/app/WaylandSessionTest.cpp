// The real program in pure Wayland sessions, on headless compositors: under weston it receives and
// performs alarms with nothing of Qt's on standard error, and with Qt's Wayland plugin hidden from it (a
// mount namespace of its own with the plugin files covered) it runs on headless after one line saying so,
// instead of aborting. Under sway, a tiling compositor, its window floats at its own size without a
// title bar.
#include "WaylandSession.h"
#include "ProgramRun.h"

#include <QLibraryInfo>

#include <gtest/gtest.h>

namespace belvane {
namespace {

using testing::waitUntil;
using testing::WaylandSession;

TEST(WaylandSessionTest, UnderWestonAlarmsArePerformedQuietlyAndWithoutQtsWaylandPluginHeadless)
{
    WaylandSession weston;
    ASSERT_TRUE(weston.start(WaylandSession::Compositor::Weston))
        << "weston did not come up; " << weston.output();
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    const QStringList plugins = platforms.entryList({QStringLiteral("libqwayland*.so")});
    ASSERT_FALSE(plugins.isEmpty()) << "qt6-wayland is needed";
    const std::string headless =
        "belvane: the display cannot be used (Qt platform \"wayland\": its plugin is "
        "missing or the display refused); receiving alarms without showing them.";
    const struct
    {
        bool hidePlugin;
        int headlessLines; // the line that says it runs headless
    } rows[] = {{false, 0}, {true, 1}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.hidePlugin ? "plugin hidden" : "plugin there");
        if (row.hidePlugin && QProcess::execute(QStringLiteral("unshare"), testing::words("-m true")) != 0) {
            GTEST_SKIP() << "hiding the plugin takes a mount namespace of its own, which needs root (and a "
                            "container that allows it)";
        }
        testing::ProgramCopy folder {BELVANE_PROGRAM_DIR};
        QProcess program;
        QStringList arguments;
        QString command = QString::fromStdString(folder.file("belvane"));
        if (row.hidePlugin) {
            arguments << QStringLiteral("-m") << QStringLiteral("sh") << QStringLiteral("-c")
                      << QStringLiteral(
                             "p=$1; shift; for f; do mount --bind /dev/null \"$f\" || exit 97; done; "
                             "exec \"$p\"")
                      << QStringLiteral("sh") << command;
            for (const QString &plugin : plugins) {
                arguments << platforms.filePath(plugin);
            }
            command = QStringLiteral("unshare");
        }
        ASSERT_TRUE(testing::launch(program, command.toStdString(), weston.env, arguments));
        ASSERT_TRUE(waitUntil(
            [&] { return testing::accepting(folder.port) || program.state() != QProcess::Running; }));
        ASSERT_EQ(program.state(), QProcess::Running) << program.readAllStandardError().toStdString();
        ASSERT_TRUE(testing::sendAlarm(folder.port, 3));
        EXPECT_TRUE(waitUntil([&] { return !folder.scriptOutput().empty(); })) << "level 3's program ran";
        EXPECT_TRUE(testing::endsCleanly(program));
        // Nothing from Qt: every line is the program's own.
        const QString standardError = QString::fromLocal8Bit(program.readAllStandardError());
        for (const QString &line : standardError.split(u'\n', Qt::SkipEmptyParts)) {
            EXPECT_TRUE(line.startsWith(QLatin1String("belvane"))) << line.toStdString();
        }
        EXPECT_EQ(standardError.count(QString::fromStdString(headless)), row.headlessLines)
            << standardError.toStdString();
        testing::stop(program);
    }
}

TEST(WaylandSessionTest, UnderSwayTheWindowFloatsAtItsSizeWithoutATitleBar)
{
    WaylandSession sway;
    ASSERT_TRUE(sway.start(WaylandSession::Compositor::Sway)) << "sway did not come up; " << sway.output();
    testing::ProgramCopy folder {BELVANE_PROGRAM_DIR};
    sway.giveToUser(folder.path);
    QProcess program;
    program.setProcessEnvironment(sway.env);
    program.setProgram(QString::fromStdString(folder.file("belvane")));
    sway.prefix(program);
    program.start();
    ASSERT_TRUE(program.waitForStarted(10000));
    QJsonObject window;
    for (const bool afterAlarm : {false, true}) {
        SCOPED_TRACE(afterAlarm ? "shown for an alarm" : "shown at the start");
        if (afterAlarm) {
            ASSERT_TRUE(testing::sendAlarm(folder.port, 3));
            ASSERT_TRUE(waitUntil([&] { return !folder.scriptOutput().empty(); }));
        }
        ASSERT_TRUE(waitUntil([&] {
            return !(window = sway.swayWindow(QStringLiteral("belvane"))).isEmpty();
        })) << "a window with the program's app id";
        const QJsonObject rect = window.value(QStringLiteral("rect")).toObject();
        EXPECT_TRUE(window.value(QStringLiteral("floating")).toBool());
        EXPECT_EQ(rect.value(QStringLiteral("width")).toInt(), 500);
        EXPECT_EQ(rect.value(QStringLiteral("height")).toInt(), 155);
        EXPECT_NE(window.value(QStringLiteral("border")).toString(), QStringLiteral("normal"))
            << "no title bar";
    }
    EXPECT_TRUE(testing::endsCleanly(program));
    for (const QString &line :
         QString::fromLocal8Bit(program.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts)) {
        EXPECT_TRUE(line.startsWith(QLatin1String("belvane"))) << line.toStdString();
    }
}

} // namespace
} // namespace belvane
