// The real program, started from a temporary program folder on a private X display under a
// StatusNotifierItem host, as Plasma and GNOME's AppIndicator extension provide one: a watcher of the
// test's own on a private session bus (run under dbus-run-session) receives the program's item, whose
// exported menu carries the commands and runs them. An alarm sent by belvane-send starts the level's
// program and shows the window, also while the settings dialog is open; SIGTERM ends the program and
// leaves the user's files as they were. The XEmbed tray is the fault tests' (tests/faults).
#include "ProgramRun.h"
#include "XSession.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <gtest/gtest.h>

namespace belvane {
namespace {

using namespace testing;

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

// The host's side of the protocol: items register here, and a host is said to be present.
class StatusNotifierWatcher final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)

public:
    bool hostRegistered() const { return true; }
    QStringList items; // the bus names of registered items

public slots:
    void RegisterStatusNotifierItem(const QString &service, const QDBusMessage &message)
    {
        items << (service.startsWith(u'/') ? message.service() : service);
    }
};

// The id and label of the first entry of the item's menu as a host reads it from com.canonical.dbusmenu's
// layout: each node is (id, properties, children), the children as variants of nodes.
std::pair<int, QString> firstEntry(const QDBusMessage &layout)
{
    int id = 0;
    QVariantMap properties;
    QList<QDBusVariant> children {QDBusVariant(layout.arguments().value(1))};
    for (int depth = 0; depth < 2 && !children.isEmpty(); ++depth) { // the root, then its first child
        const QDBusArgument node = children.front().variant().value<QDBusArgument>();
        node.beginStructure();
        node >> id >> properties >> children;
        node.endStructure();
    }
    return {id, properties.value(QStringLiteral("label")).toString()};
}

TEST(EndToEndTest, AlarmsRunTheLevelsProgramTheHostsMenuRunsCommandsAndSigtermEndsCleanly)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.isConnected()) << "run under dbus-run-session";
    StatusNotifierWatcher watcher;
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                   QDBusConnection::ExportAllContents));
    ASSERT_TRUE(bus.registerService(watcherService));

    XSession x;
    ASSERT_TRUE(x.start(false)) << "Xvfb is needed; the only tray host is the watcher";
    ProgramCopy folder {BELVANE_PROGRAM_DIR};
    const std::string list = readFile(folder.file("Belvane.acd")),
                      settings = readFile(folder.file("Belvane.cfg"));
    std::set<std::string> files = filesIn(folder.path);
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    ASSERT_TRUE(launch(program, folder.file("belvane"), x.env));
    const auto shown = [&](const QString &title = QStringLiteral("Belvane")) {
        return !x.visibleWindows(title).isEmpty();
    };
    ASSERT_TRUE(waitUntil([&] { return !watcher.items.isEmpty() && shown(); }))
        << "item registered, the window shown at start";
    const QString window = x.visibleWindows().value(0);

    // Plain calls: an interface object would introspect the item and cache what it read for good.
    const auto call = [&](const QString &at, const QString &interface, const QString &method,
                          const QVariantList &arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(watcher.items.front(), at, interface, method);
        message.setArguments(arguments);
        return bus.call(message);
    };
    const QDBusMessage menuPath =
        call(QStringLiteral("/StatusNotifierItem"), QStringLiteral("org.freedesktop.DBus.Properties"),
             QStringLiteral("Get"), {QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Menu")});
    ASSERT_EQ(menuPath.type(), QDBusMessage::ReplyMessage) << menuPath.errorMessage().toStdString();
    const QString path =
        qdbus_cast<QDBusObjectPath>(menuPath.arguments().value(0).value<QDBusVariant>().variant()).path();
    const QString menu = QStringLiteral("com.canonical.dbusmenu");
    // The entries are the tray menu's (the window tests list them): the host sees them once registered.
    const auto [first, label] =
        firstEntry(call(path, menu, QStringLiteral("GetLayout"), {0, -1, QStringList()}));
    EXPECT_EQ(label, QStringLiteral("表示"));

    // With a host present, confirming (Return: the confirm button has the focus) hides the window.
    ASSERT_TRUE(x.pressReturnUntil(window, [&] { return !shown(); })) << "confirmed and hidden";

    // Sent to the settings' port, an alarm runs level 3's program with its parameters and shows the window.
    ASSERT_TRUE(sendAlarm(folder.port, 3, QStringLiteral("経理部PC"), QStringLiteral("お昼です")));
    ASSERT_TRUE(waitUntil([&] { return !folder.scriptOutput().empty(); }));
    EXPECT_EQ(folder.scriptOutput(), "alpha\ntwo words\nsingle quoted\nback slash\n");
    EXPECT_TRUE(waitUntil([&] { return shown(); })) << "the alarm is shown";

    // The host runs "表示" as a click on its entry.
    ASSERT_TRUE(x.pressReturnUntil(window, [&] { return !shown(); }));
    call(path, menu, QStringLiteral("Event"),
         {first, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
    EXPECT_TRUE(waitUntil([&] { return shown(); })) << "shown through the host's menu";

    // The host goes away while the window is hidden: it comes back, minimised (with no window manager
    // here, mapped as it is).
    ASSERT_TRUE(x.pressReturnUntil(window, [&] { return !shown(); }));
    ASSERT_TRUE(bus.unregisterService(watcherService));
    EXPECT_TRUE(waitUntil([&] { return shown(); })) << "reachable again without a host";

    // A right click on the window's surface opens the menu; its third entry is the settings dialog.
    x.xdotool(words("mousemove --sync --window") << window << words("450 140"));
    x.xdotool(words("click 3"));
    x.xdotool(words("key Down Down Down Return"));
    ASSERT_TRUE(waitUntil([&] { return shown(QStringLiteral("環境設定")); }))
        << "the settings dialog is open";
    ASSERT_TRUE(sendAlarm(folder.port, 3));
    EXPECT_TRUE(waitUntil([&] { return folder.scriptOutput().size() > 41; })) << "performed under the dialog";
    EXPECT_TRUE(shown(QStringLiteral("環境設定"))) << "the dialog stays open";

    EXPECT_TRUE(endsCleanly(program));
    EXPECT_EQ(readFile(folder.file("Belvane.acd")), list);
    EXPECT_EQ(readFile(folder.file("Belvane.cfg")), settings);
    files.insert("record-arguments.sh.out");
    EXPECT_EQ(filesIn(folder.path), files);
}

} // namespace
} // namespace belvane

#include "EndToEndTest.moc"
